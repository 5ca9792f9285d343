#include "core/transfer/JobStream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "core/package/DownDocFile.h"
#include "platform/UniqueFd.h"

namespace quillon {

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

namespace {

// Writes the start of the stream at the file's offset: the download
// command's wrapper when asked for, then the data; false when a write
// failed. written counts the bytes.
bool WriteJobStart(int fd, const TDownDocFile& doc, bool download, std::uint64_t& written,
                   const std::atomic<bool>* cancel = nullptr) {
  if (download) {
    const std::string length = LengthCommand(doc.DataSize);
    if (!platform::WriteAll(fd, kJobPreamble, kJobPreambleSize) ||
        !platform::WriteAll(fd, length.data(), length.size()))
      return false;
    written += kJobPreambleSize + length.size();
  }
  // In pieces, so that a write nobody waits for any more stops soon.
  constexpr std::size_t kPiece = std::size_t{8} << 20;
  for (std::size_t at = 0; at < doc.DataSize;) {
    if (cancel && *cancel) return false;
    const std::size_t n = std::min<std::size_t>(kPiece, doc.DataSize - at);
    if (!platform::WriteAll(fd, doc.DataBuffer + at, n)) return false;
    at += n;
    written += n;
  }
  return true;
}

// Checks what a stream needs before anything is written.
bool Writable(const TDownDocFile& doc, bool download) {
  if (doc.DataSize > 0 && !doc.DataBuffer) return false;
  // The length field has eight digits; a longer block would be announced
  // wrongly and the printer would take the rest for commands.
  return !(download && doc.DataSize > kMaxPackageData);
}

}  // namespace

std::uint32_t BuildJobFile(int fd, const TDownDocFile* doc, bool commandAllowed,
                           std::uint32_t initItems) {
  if (fd < 0 || !doc) return 0;
  const bool download = commandAllowed && doc->EnableCommand != 0;
  const bool restart = commandAllowed && doc->Reboot != 0;
  if (!Writable(*doc, download)) return 0;
  if (::lseek(fd, 0, SEEK_SET) != 0) return 0;

  std::uint64_t written = 0;
  bool ok = WriteJobStart(fd, *doc, download, written);
  if (ok && restart) {
    const std::string command = RestartCommand(initItems);
    ok = platform::WriteAll(fd, command.data(), command.size());
    written += command.size();
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

JobFileAhead::JobFileAhead(std::shared_ptr<const TDownDocFile> package)
    : package_(std::move(package)) {
  if (package_) file_.emplace("dwn");
  if (!file_ || file_->Empty()) {
    done_ = true;
    return;
  }
  // A package for the model is wrapped in the download command; without
  // the command allowed, only one that has none gives the same start.
  download_ = package_->EnableCommand != 0;
  writer_ = std::thread([this] { Write(); });
}

JobFileAhead::~JobFileAhead() {
  cancel_ = true;
  if (writer_.joinable()) writer_.join();
}

void JobFileAhead::Write() {
  std::uint64_t written = 0;
  const bool ok = Writable(*package_, download_) &&
                  WriteJobStart(file_->Fd(), *package_, download_, written, &cancel_) &&
                  written + kRestartCommandSize <= 0xFFFFFFFFull;
  std::lock_guard<std::mutex> lock(mutex_);
  ok_ = ok;
  start_ = written;
  done_ = true;
  written_.notify_all();
}

bool JobFileAhead::Take(const TDownDocFile* package, bool commandAllowed,
                        std::uint32_t initItems, const std::function<bool()>& stop,
                        std::string& path, std::uint32_t& length) {
  if (!package || package != package_.get()) return false;
  const bool download = commandAllowed && package->EnableCommand != 0;
  const int restart =
      commandAllowed && package->Reboot != 0 ? static_cast<int>(initItems & 7u) : -1;
  std::unique_lock<std::mutex> lock(mutex_);
  while (!done_) {
    if (stop && stop()) return false;
    written_.wait_for(lock, std::chrono::milliseconds(20));
  }
  if (!ok_ || download != download_) return false;
  if (!taken_) {
    std::uint64_t total = start_;
    if (restart >= 0) {
      const std::string command = RestartCommand(static_cast<std::uint32_t>(restart));
      const ssize_t n = ::pwrite(file_->Fd(), command.data(), command.size(),
                                 static_cast<off_t>(start_));
      if (n != static_cast<ssize_t>(command.size())) {
        // Nobody sends it: a later transfer builds its own as well.
        ok_ = false;
        return false;
      }
      total += command.size();
    }
    if (total == 0) {
      ok_ = false;
      return false;
    }
    taken_ = true;
    restart_ = restart;
    length_ = static_cast<std::uint32_t>(total);
  } else if (restart != restart_) {
    return false;
  }
  path = file_->Path();
  length = length_;
  return true;
}

}  // namespace quillon
