#include "core/package/PackageHeader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/TextCodec.h"
#include "platform/UniqueFd.h"

namespace quillon {

platform::ProfileFile OpenHeaderProfile(const std::string& path, bool* textCut) {
  if (textCut) *textCut = false;
  platform::UniqueFd fd(platform::OpenRegularFile(path));
  struct stat st;
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
    return platform::ProfileFile(path);  // absent: an empty profile
  }
  if (static_cast<std::uint64_t>(st.st_size) <= kMaxHeaderText) return platform::ProfileFile(path);

  // A large file: hand the profile reader only its text part, through an
  // anonymous in-memory file.
  std::vector<char> text(kMaxHeaderText);
  size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = ::pread(fd.get(), text.data() + got, text.size() - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  const void* mark = std::memchr(text.data(), 0x1A, got);
  if (mark) {
    got = static_cast<size_t>(static_cast<const char*>(mark) - text.data());
  } else if (textCut) {
    // Its last line may end inside a value.
    *textCut = true;
  }
  platform::UniqueFd mem(::memfd_create("header", MFD_CLOEXEC));
  if (mem.get() < 0) return platform::ProfileFile(path);
  if (!platform::WriteAll(mem.get(), text.data(), got)) return platform::ProfileFile(path);
  const std::string memPath = "/proc/self/fd/" + std::to_string(mem.get());
  if (::access(memPath.c_str(), R_OK) != 0) return platform::ProfileFile(path);  // no /proc
  return platform::ProfileFile(memPath);
}

platform::TextEncoding HeaderEncoding(const platform::ProfileFile& header) {
  return header.HasUtf8Bom() ? platform::TextEncoding::kUtf8 : platform::TextEncoding::kCp932;
}

std::string ReadRawValue(const platform::ProfileFile& header, std::string_view section,
                         std::string_view key, std::string_view def, size_t maxBytes) {
  const std::string value = header.ReadString(section, key, def);
  return std::string(platform::CutText(value, maxBytes, HeaderEncoding(header)));
}

std::string ReadTextValue(const platform::ProfileFile& header, std::string_view section,
                          std::string_view key, std::string_view def, size_t maxBytes) {
  return platform::ToUtf8(ReadRawValue(header, section, key, def, maxBytes), HeaderEncoding(header));
}

std::vector<std::string> SplitPrinterNames(std::string_view value) {
  std::vector<std::string> names;
  size_t i = 0;
  while (i < value.size()) {
    const size_t start = value.find_first_not_of("\",", i);
    if (start == std::string_view::npos) break;
    size_t end = value.find_first_of("\",", start);
    if (end == std::string_view::npos) end = value.size();
    names.emplace_back(value.substr(start, end - start));
    i = end;
  }
  return names;
}

std::vector<std::string> SplitDataFileNames(std::string_view value) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= value.size()) {
    size_t end = value.find(',', start);
    if (end == std::string_view::npos) end = value.size();
    if (end > start) names.emplace_back(value.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

std::int64_t FindFirstByte(const std::string& path, unsigned char b) {
  platform::UniqueFd fd(platform::OpenRegularFile(path));
  if (fd.get() < 0) return -1;
  std::vector<char> block(64 * 1024);
  std::int64_t offset = 0;
  for (;;) {
    const ssize_t n = ::read(fd.get(), block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;  // end of file ends the scan
    if (const void* hit = std::memchr(block.data(), b, static_cast<size_t>(n))) {
      return offset + (static_cast<const char*>(hit) - block.data());
    }
    offset += n;
  }
}

}  // namespace quillon
