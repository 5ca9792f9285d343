#include "netlib/ChunkSource.h"

#include <sys/stat.h>

namespace quillon::net {

bool LocalFileSource::Open() {
  Close();
  file_ = std::fopen(path_.c_str(), "rbe");
  if (file_ == nullptr) return false;
  // Read ahead in large blocks; the chunks handed out stay small.
  std::setvbuf(file_, nullptr, _IOFBF, 64 * 1024);
  struct stat st {};
  length_ = ::fstat(::fileno(file_), &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
  return true;
}

long LocalFileSource::Read(char* bytes, size_t n) {
  if (file_ == nullptr) return -1;
  const size_t got = std::fread(bytes, 1, n, file_);
  if (got == 0 && std::ferror(file_)) return -1;
  return static_cast<long>(got);
}

void LocalFileSource::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

}  // namespace quillon::net
