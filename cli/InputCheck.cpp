#include "cli/InputCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/UniqueFd.h"

namespace cli {

bool PackageFileUsable(const std::string& path, std::string& reason) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    reason = path + ": " + std::strerror(errno);
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    reason = path + ": is a directory, not a package file";
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    reason = path + ": not a regular file";
    return false;
  }
  const platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.ok()) {
    reason = path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace cli
