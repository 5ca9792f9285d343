#include "platform/TempNames.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace platform {
namespace {

// A prefix must not lead out of the temporary folder.
std::string SafePrefix(const std::string& prefix) {
  std::string p = prefix;
  for (char& c : p) {
    if (c == '/') c = '_';
  }
  return p;
}

}  // namespace

std::string TempFolder() {
  std::string dir;
  const char* env = std::getenv("TMPDIR");
  if (env && *env) dir = env;
  else dir = "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

std::string MakeTempFile(const std::string& prefix) {
  const std::string suffix = ".tmp";
  std::string tmpl = TempFolder() + SafePrefix(prefix) + "XXXXXX" + suffix;
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  const int fd = ::mkstemps(buf.data(), static_cast<int>(suffix.size()));
  if (fd < 0) return {};
  ::close(fd);
  return buf.data();
}

std::string MakeTempFolder(const std::string& prefix) {
  std::string tmpl = TempFolder() + SafePrefix(prefix) + "XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!::mkdtemp(buf.data())) return {};
  return buf.data();
}

bool RemovePath(const std::string& path) {
  if (path.empty()) return true;
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
  return !std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

}  // namespace platform
