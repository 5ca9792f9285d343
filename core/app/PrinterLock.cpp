#include "core/app/PrinterLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <cstdlib>

namespace quillon {

namespace {

std::string UserRuntimeFolder() {
  // XDG_RUNTIME_DIR first: it is the same for the windowed program and a
  // script run in another session of the same user.
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  std::string base = (xdg && *xdg)
                         ? std::string(xdg)
                         : QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
                               .toStdString();
  if (base.empty()) base = "/tmp";
  return base + "/quillon";
}

}  // namespace

PrinterLock::~PrinterLock() { Release(); }

bool PrinterLock::UsableSharedFolder(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) return false;
    if (::mkdir(path.c_str(), 01777) != 0 && errno != EEXIST) return false;
    // The umask took bits away; the folder is for every user.
    if (::lstat(path.c_str(), &st) != 0) return false;
    if (S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()) ::chmod(path.c_str(), 01777);
  }
  // A link could lead anywhere another user chose.
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  return ::access(path.c_str(), W_OK | X_OK) == 0;
}

std::string PrinterLock::LockFolder() {
  const char* forced = std::getenv("QUILLON_LOCK_DIR");
  if (forced && *forced) return forced;
  for (const char* candidate : {"/run/quillon", "/var/lock/quillon", "/tmp/quillon-locks"}) {
    if (UsableSharedFolder(candidate)) return candidate;
  }
  return UserRuntimeFolder();
}

std::string PrinterLock::LockPath(const PrinterTarget& printer) {
  const std::string key = printer.Identity();
  const QByteArray hash =
      QCryptographicHash::hash(QByteArray(key.data(), static_cast<qsizetype>(key.size())),
                               QCryptographicHash::Sha256)
          .toHex();
  return LockFolder() + "/printer-" + hash.toStdString() + ".lock";
}

PrinterLock::Outcome PrinterLock::Acquire(const PrinterTarget& printer) {
  Release();
  detail_.clear();
  if (!printer.Valid()) {
    detail_ = "no printer to lock";
    return Outcome::Failed;
  }
  const std::string path = LockPath(printer);
  const std::string folder = path.substr(0, path.rfind('/'));
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    detail_ = "cannot make the lock folder " + folder + ": " + std::strerror(errno);
    return Outcome::Failed;
  }
  // Another user's lock file of the same printer must open for us too:
  // mode 0666 whatever the umask; read-only is enough for flock().
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd >= 0) {
    ::fchmod(fd, 0666);
  } else if (errno == EEXIST) {
    fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  }
  if (fd < 0) {
    detail_ = "cannot open the lock file " + path + ": " + std::strerror(errno);
    return Outcome::Failed;
  }
  // flock() locks belong to the open file: a second open in the same
  // process is refused as well, so two threads cannot share a printer.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) {
      detail_ = "another download to this printer is running";
      return Outcome::Busy;
    }
    detail_ = "cannot lock " + path + ": " + std::strerror(err);
    return Outcome::Failed;
  }
  fd_ = fd;
  return Outcome::Taken;
}

void PrinterLock::Release() {
  if (fd_ < 0) return;
  // The file stays: removing it would race with another taker.
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
}

}  // namespace quillon
