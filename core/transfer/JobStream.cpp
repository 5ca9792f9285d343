#include "core/transfer/JobStream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "core/package/DownDocFile.h"
#include "platform/UniqueFd.h"

const char kJobPreamble[] =
    "\x1b\x01"
    "@EJL\r\n"
    "@EJL SE LA = ESC/P\r\n"
    "@EJL EN LA = ESC/P\r\n"
    "\x1bz\xd0\x81";
static_assert(sizeof(kJobPreamble) == kJobPreambleSize + 1, "the preamble is 52 bytes");

std::string LengthCommand(std::uint32_t dataSize) {
  char text[32];
  std::snprintf(text, sizeof text, "Uf%08u,0*", static_cast<unsigned>(dataSize));
  return text;
}

std::string RestartCommand(std::uint32_t initItems) {
  std::string text = "Ug,1,0*";
  // Only the three defined items fit the one digit the printer reads.
  text[5] = static_cast<char>(0x30 | (initItems & 7u));
  return text;
}

std::uint32_t BuildJobFile(const char* path, const TDownDocFile* doc, bool commandAllowed,
                           std::uint32_t initItems) {
  if (!path || !*path || !doc) return 0;
  // Not opened with O_TRUNC: truncating a file on open makes the file
  // system flush it at close, which costs a fresh job file (always empty)
  // time for nothing. Old contents past the new end are cut below.
  platform::UniqueFd fd(::open(path, O_WRONLY | O_CLOEXEC));
  if (fd.get() < 0) return 0;
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return 0;
  return BuildJobFile(fd.get(), doc, commandAllowed, initItems);
}

std::uint32_t BuildJobFile(int fd, const TDownDocFile* doc, bool commandAllowed,
                           std::uint32_t initItems) {
  if (fd < 0 || !doc) return 0;
  if (doc->DataSize > 0 && !doc->DataBuffer) return 0;
  const bool download = commandAllowed && doc->EnableCommand != 0;
  const bool restart = commandAllowed && doc->Reboot != 0;
  // The length field has eight digits; a longer block would be announced
  // wrongly and the printer would take the rest for commands.
  if (download && doc->DataSize > kMaxPackageData) return 0;
  if (::lseek(fd, 0, SEEK_SET) != 0) return 0;

  bool ok = true;
  std::uint64_t written = 0;
  const auto put = [&](const void* data, std::size_t size) {
    ok = ok && platform::WriteAll(fd, data, size);
    written += size;
  };
  if (download) {
    const std::string length = LengthCommand(doc->DataSize);
    put(kJobPreamble, kJobPreambleSize);
    put(length.data(), length.size());
  }
  if (doc->DataSize > 0) put(doc->DataBuffer, doc->DataSize);
  if (restart) {
    const std::string command = RestartCommand(initItems);
    put(command.data(), command.size());
  }
  // A short file must not be sent: its length field would not match.
  if (!ok || written > 0xFFFFFFFFull) return 0;
  struct stat st {};
  if (::fstat(fd, &st) != 0) return 0;
  if (static_cast<std::uint64_t>(st.st_size) > written &&
      ::ftruncate(fd, static_cast<off_t>(written)) != 0)
    return 0;
  return static_cast<std::uint32_t>(written);
}
