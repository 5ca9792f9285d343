#include "platform/TempNames.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
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

LockedTempFolder::LockedTempFolder(const std::string& prefix) {
  std::string path = MakeTempFolder(prefix);
  if (path.empty()) return;
  // An unnamed file is locked first and only then given its name.
  int fd = ::open(path.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) {
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    const std::string lock = path + "/" + kTempFolderLock;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        ::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, lock.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      ::close(fd);
      fd = -1;
    }
  }
  if (fd < 0) {
    // No unnamed files here: a named one, locked at once. A cleaner that
    // runs in between finds a brand-new lock file and leaves it (see below).
    fd = ::open((path + "/" + kTempFolderLock).c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (fd >= 0) ::close(fd);
      RemovePath(path);
      return;
    }
  }
  path_ = std::move(path);
  lockFd_ = fd;
}

LockedTempFolder::~LockedTempFolder() {
  // Removed while still locked, so a cleaner never takes it half-way.
  if (!path_.empty()) RemovePath(path_);
  if (lockFd_ >= 0) ::close(lockFd_);
}

int RemoveStaleTempFolders(const std::string& prefix) {
  const std::string dir = TempFolder();
  const std::string want = SafePrefix(prefix);
  DIR* d = ::opendir(dir.c_str());
  if (!d) return 0;
  std::vector<std::string> candidates;
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name.size() > want.size() && name.compare(0, want.size(), want) == 0) candidates.push_back(name);
  }
  ::closedir(d);

  int removed = 0;
  const time_t now = ::time(nullptr);
  for (const std::string& name : candidates) {
    const std::string path = dir + name;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) continue;
    const std::string lock = path + "/" + kTempFolderLock;
    const int fd = ::open(lock.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat ls;
    // A lock file seconds old may still be about to be locked (named form).
    const bool ripe = ::fstat(fd, &ls) == 0 && S_ISREG(ls.st_mode) && ls.st_uid == ::geteuid() &&
                      now - ls.st_mtime >= 2;
    if (ripe && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      RemovePath(path);
      ++removed;
    }
    ::close(fd);
  }
  return removed;
}

}  // namespace platform
