#include "netlib/PeekSource.h"

#include <algorithm>
#include <cstring>

namespace quillon::net {

size_t BufferSource::Available(size_t n) const {
  size_t left = bytes_.size() - pos_;
  if (piece_ > 0) left = std::min(left, piece_);
  return std::min(left, n);
}

long BufferSource::Peek(char* bytes, size_t n) {
  const size_t count = Available(n);
  if (count > 0) std::memcpy(bytes, bytes_.data() + pos_, count);
  return static_cast<long>(count);
}

long BufferSource::Receive(char* bytes, size_t n) {
  const long count = Peek(bytes, n);
  pos_ += static_cast<size_t>(count);
  return count;
}

}  // namespace quillon::net
