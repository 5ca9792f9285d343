#include "core/history/DownloadLog.h"

#include <fcntl.h>
#include <sys/file.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string_view>
#include <thread>

#include <QDir>
#include <QFileInfo>

#include "platform/ProfileFile.h"
#include "platform/UniqueFd.h"

namespace quillon {
namespace {

const char kHex[] = "0123456789ABCDEF";

// Holds an exclusive lock on a folder while it lives. The log itself is
// replaced by a rename, so its own inode cannot carry the lock. A process
// that holds the lock and never lets go (stopped, stuck on a dead network
// mount) must not hold up every download after it: the lock is tried for
// `waitMs` at most. Interrupted waits go on; only the time ends them.
class FolderLock {
 public:
  FolderLock(const std::string& folder, int waitMs)
      : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (!fd_.ok()) {
      error_ = errno;
      return;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (int attempt = 0;; ++attempt) {
      if (::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) return;
      if (errno != EWOULDBLOCK && errno != EINTR) break;
      const auto now = std::chrono::steady_clock::now();
      if (now >= end) {
        timedOut_ = true;
        break;
      }
      // Short first, so writers that met part again soon; then a steady 50 ms.
      const auto pause = std::min<std::chrono::steady_clock::duration>(
          std::chrono::milliseconds(std::min(2 + 4 * attempt, 50)), end - now);
      std::this_thread::sleep_for(pause);
    }
    error_ = errno;
    fd_.Reset();
  }
  ~FolderLock() {
    if (fd_.ok()) ::flock(fd_.get(), LOCK_UN);
  }
  bool Held() const { return fd_.ok(); }
  bool TimedOut() const { return timedOut_; }
  int Errno() const { return error_; }

 private:
  platform::UniqueFd fd_;
  bool timedOut_ = false;
  int error_ = 0;
};

// The profile rules trim blanks around a key, so the key as the file will
// hold it is the one to look for.
std::string_view TrimBlanks(std::string_view s) {
  const auto blank = [](char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
  };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

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
                                  const std::string& key, const std::string& value, int lockWaitMs) {
  const std::string notWritten = "the entry was not written to " + logPath + ": ";
  const QString folder = QFileInfo(QString::fromStdString(logPath)).absolutePath();
  if (!QDir().mkpath(folder))
    return platform::Error::Of(1, notWritten + "cannot create the folder " + folder.toStdString());
  const FolderLock lock(folder.toStdString(), lockWaitMs);
  if (lock.TimedOut())
    return platform::Error::Of(
        1, notWritten + "another process has held the lock on " + folder.toStdString() +
               " for longer than " + std::to_string(lockWaitMs) + " ms");
  if (!lock.Held())
    return platform::Error::FromErrno(1, notWritten + "cannot lock " + folder.toStdString(),
                                      lock.Errno());

  platform::ProfileFile file(logPath);
  const std::string_view stored = TrimBlanks(section);
  const std::string_view storedKey = TrimBlanks(key);
  std::string unique(stored);
  for (int n = 2; file.HasKey(unique, storedKey); ++n)
    unique = std::string(stored) + " (" + std::to_string(n) + ")";
  if (!file.WriteString(unique, storedKey, value))
    return platform::Error::Of(1, notWritten + "the key cannot be stored: " + key);
  if (!file.Flush()) return platform::Error::FromErrno(1, notWritten + "cannot write " + logPath);
  return platform::Error::Ok();
}

}  // namespace quillon
