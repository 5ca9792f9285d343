#pragma once
// An owned POSIX file descriptor and the read/write loops every layer uses
// (header-only, so the network library shares them without linking the
// platform layer), and the one way the program opens a file it only reads:
// regular files alone, so a FIFO or device named as a package or data file
// can never block a read.

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string>

namespace platform {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& o) noexcept : fd_(o.Release()) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept {
    if (this != &o) Reset(o.Release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes now and reports close's own result (a late write error shows here).
  int CloseChecked() {
    const int fd = Release();
    return fd >= 0 ? ::close(fd) : 0;
  }

 private:
  int fd_ = -1;
};

// Writes all of data; false on the first error other than EINTR (errno kept).
inline bool WriteAll(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Reads until size bytes or the end of the file; the count, or -1 on an
// error other than EINTR (errno kept).
inline long ReadFull(int fd, void* data, std::size_t size) {
  char* p = static_cast<char*>(data);
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, p + got, size - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return static_cast<long>(got);
}

// Opens a regular file for reading (blocking reads); -1 for anything else.
int OpenRegularFile(const std::string& path);

}  // namespace platform
