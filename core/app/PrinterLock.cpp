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

#include "core/app/Funcs.h"
#include "platform/Text.h"

namespace {

std::string RuntimeFolder() {
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

TPrinterLock::~TPrinterLock() { Release(); }

std::string TPrinterLock::Key(const std::string& printer) {
  if (platform::IsFtpPrinterName(printer)) {
    std::string host;
    if (FtpHostOf(printer, host)) return std::string(platform::kFtpScheme) + platform::LowerAscii(host);
  }
  return platform::LowerAscii(printer);
}

std::string TPrinterLock::LockPath(const std::string& printer) {
  const std::string key = Key(printer);
  const QByteArray hash =
      QCryptographicHash::hash(QByteArray(key.data(), static_cast<qsizetype>(key.size())),
                               QCryptographicHash::Sha256)
          .toHex();
  return RuntimeFolder() + "/printer-" + hash.toStdString() + ".lock";
}

TPrinterLock::Outcome TPrinterLock::Acquire(const std::string& printer) {
  Release();
  detail_.clear();
  const std::string path = LockPath(printer);
  const std::string folder = path.substr(0, path.rfind('/'));
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    detail_ = "cannot make the lock folder " + folder + ": " + std::strerror(errno);
    return Outcome::Failed;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
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

void TPrinterLock::Release() {
  if (fd_ < 0) return;
  // The file stays: removing it would race with another taker.
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
}
