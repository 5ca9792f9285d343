#include "core/history/DownloadLog.h"

#include <fcntl.h>
#include <sys/file.h>

#include <QDir>
#include <QFileInfo>

#include "platform/ProfileFile.h"
#include "platform/UniqueFd.h"

namespace quillon {
namespace {

const char kHex[] = "0123456789ABCDEF";

// Holds an exclusive lock on a folder while it lives. The log itself is
// replaced by a rename, so its own inode cannot carry the lock.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder)
      : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (!fd_.ok()) return;
    while (::flock(fd_.get(), LOCK_EX) != 0) {
      if (errno != EINTR) {
        fd_.Reset();
        return;
      }
    }
  }
  ~FolderLock() {
    if (fd_.ok()) ::flock(fd_.get(), LOCK_UN);
  }
  bool Held() const { return fd_.ok(); }

 private:
  platform::UniqueFd fd_;
};

}  // namespace

std::string DownloadLogKey(const std::string& packagePath, const std::string& packageState) {
  const std::string raw = packagePath + "," + packageState;
  std::string key;
  key.reserve(raw.size());
  for (const char c : raw) {
    if (c == '%' || c == '=' || c == '\n' || c == '\r') {
      const auto b = static_cast<unsigned char>(c);
      key += '%';
      key += kHex[b >> 4];
      key += kHex[b & 0xF];
    } else {
      key += c;
    }
  }
  return key;
}

std::string UnescapeLogKey(const std::string& key) {
  const auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  std::string out;
  out.reserve(key.size());
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (key[i] == '%' && i + 2 < key.size() && hex(key[i + 1]) >= 0 && hex(key[i + 2]) >= 0) {
      out += static_cast<char>(hex(key[i + 1]) * 16 + hex(key[i + 2]));
      i += 2;
    } else {
      out += key[i];
    }
  }
  return out;
}

platform::Error AppendDownloadLog(const std::string& logPath, const std::string& section,
                                  const std::string& key, const std::string& value) {
  const QString folder = QFileInfo(QString::fromStdString(logPath)).absolutePath();
  if (!QDir().mkpath(folder))
    return platform::Error::Of(1, "cannot create the folder " + folder.toStdString());
  const FolderLock lock(folder.toStdString());
  if (!lock.Held()) return platform::Error::FromErrno(1, "cannot lock " + folder.toStdString());

  platform::ProfileFile file(logPath);
  std::string unique = section;
  for (int n = 2; file.HasKey(unique, key); ++n) unique = section + " (" + std::to_string(n) + ")";
  if (!file.WriteString(unique, key, value))
    return platform::Error::Of(1, "the log entry cannot be written: " + key);
  if (!file.Flush()) return platform::Error::FromErrno(1, "cannot write " + logPath);
  return platform::Error::Ok();
}

}  // namespace quillon
