#include "netlib/ChunkSource.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace quillon::net {

bool LocalFileSource::Open() {
  Close();
  // Non-blocking open: a FIFO named as the job must not hold the call.
  fd_.Reset(::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  if (!fd_.ok() || ::fstat(fd_.get(), &st) != 0) {
    error_ = path_ + ": " + std::strerror(errno);
    Close();
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error_ = path_ + ": not a regular file";
    Close();
    return false;
  }
  length_ = static_cast<int64_t>(st.st_size);
  ::posix_fadvise(fd_.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  return true;
}

long LocalFileSource::Read(char* bytes, size_t n) {
  if (!fd_.ok()) return -1;
  const long got = platform::ReadFull(fd_.get(), bytes, n);
  if (got < 0) error_ = path_ + ": " + std::strerror(errno);
  return got;
}

}  // namespace quillon::net
