#include "platform/TempNames.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

namespace {

// Names in the temporary folder that begin with the prefix and are longer.
std::vector<std::string> NamesWithPrefix(const std::string& dir, const std::string& want) {
  std::vector<std::string> names;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return names;
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name.size() > want.size() && name.compare(0, want.size(), want) == 0) names.push_back(name);
  }
  ::closedir(d);
  return names;
}

bool Ripe(const struct stat& st, time_t now) { return now - st.st_mtime >= kStaleAfterSeconds; }

// A folder with nothing in it (not even a lock file).
bool IsEmptyFolder(const std::string& path) {
  DIR* d = ::opendir(path.c_str());
  if (!d) return false;
  bool empty = true;
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") {
      empty = false;
      break;
    }
  }
  ::closedir(d);
  return empty;
}

}  // namespace

int RemoveStaleTempFolders(const std::string& prefix) {
  const std::string dir = TempFolder();
  const std::vector<std::string> candidates = NamesWithPrefix(dir, SafePrefix(prefix));

  int removed = 0;
  const time_t now = ::time(nullptr);
  for (const std::string& name : candidates) {
    const std::string path = dir + name;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) continue;
    const std::string lock = path + "/" + kTempFolderLock;
    const int fd = ::open(lock.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      // No lock file: only an empty folder of some age is a killed run's
      // (made, then killed before its lock; or killed while removed).
      if (errno == ENOENT && Ripe(st, now) && IsEmptyFolder(path) && ::rmdir(path.c_str()) == 0)
        ++removed;
      continue;
    }
    struct stat ls;
    // A lock file seconds old may still be about to be locked (named form).
    const bool ripe = ::fstat(fd, &ls) == 0 && S_ISREG(ls.st_mode) && ls.st_uid == ::geteuid() &&
                      Ripe(ls, now);
    if (ripe && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      RemovePath(path);
      ++removed;
    }
    ::close(fd);
  }
  return removed;
}

LockedTempFile::LockedTempFile(const std::string& prefix) {
  const std::string suffix = ".tmp";
  const std::string tmpl = TempFolder() + SafePrefix(prefix) + "XXXXXX" + suffix;
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  // Locked at once; a sweep leaves a file this young alone in between.
  const int fd = ::mkostemps(buf.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
  if (fd < 0) return;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::unlink(buf.data());
    ::close(fd);
    errno = err;
    return;
  }
  path_ = buf.data();
  lockFd_ = fd;
}

LockedTempFile::~LockedTempFile() {
  // Removed while still locked, so a sweep never takes it half-way.
  if (!path_.empty()) ::unlink(path_.c_str());
  if (lockFd_ >= 0) ::close(lockFd_);
}

int RemoveStaleTempFiles(const std::string& prefix) {
  const std::string dir = TempFolder();
  const std::string suffix = ".tmp";
  int removed = 0;
  const time_t now = ::time(nullptr);
  for (const std::string& name : NamesWithPrefix(dir, SafePrefix(prefix))) {
    if (name.size() < suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    const std::string path = dir + name;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        !Ripe(st, now))
      continue;
    // O_NONBLOCK: never wait on whatever the name has become since.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat fs;
    const bool same = ::fstat(fd, &fs) == 0 && fs.st_dev == st.st_dev && fs.st_ino == st.st_ino;
    // Held by us while it goes: a writer that is alive holds it and keeps it.
    if (same && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.c_str()) == 0) ++removed;
    ::close(fd);
  }
  return removed;
}

int RemoveStaleTempLeftovers(const std::string& prefix) {
  return RemoveStaleTempFolders(prefix) + RemoveStaleTempFiles(prefix);
}

}  // namespace platform
