#pragma once
// An owned POSIX file descriptor, and the one way the program opens a file
// it only reads: regular files alone, so a FIFO or device named as a package
// or data file can never block a read.

#include <string>

namespace platform {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(UniqueFd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  UniqueFd& operator=(UniqueFd&& o) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  // Closes now and reports close's own result (a late write error shows here).
  int CloseChecked();

 private:
  int fd_ = -1;
};

// Opens a regular file for reading (blocking reads); -1 for anything else.
int OpenRegularFile(const std::string& path);

}  // namespace platform
