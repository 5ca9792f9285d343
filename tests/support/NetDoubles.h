#pragma once
// Stand-ins for the network library's connections: byte buffers read as if
// a printer had sent them. Header-only, so the fuzz targets share them.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

#include "netlib/ConsoleReader.h"
#include "netlib/PeekSource.h"

namespace quillon_test {

// An FTP connection's bytes, handed out in pieces of at most `piece` bytes
// so that lines may straddle reads.
class BufferSource : public quillon::net::PeekSource {
 public:
  explicit BufferSource(std::string bytes, size_t piece = 0)
      : bytes_(std::move(bytes)), piece_(piece) {}
  int WaitReadable(int) override { return 1; }
  long Peek(char* bytes, size_t n) override {
    const size_t count = Available(n);
    if (count > 0) std::memcpy(bytes, bytes_.data() + pos_, count);
    return static_cast<long>(count);
  }
  long Receive(char* bytes, size_t n) override {
    const long count = Peek(bytes, n);
    pos_ += static_cast<size_t>(count);
    return count;
  }
  size_t Consumed() const { return pos_; }

 private:
  size_t Available(size_t n) const {
    size_t left = bytes_.size() - pos_;
    if (piece_ > 0) left = std::min(left, piece_);
    return std::min(left, n);
  }
  std::string bytes_;
  size_t piece_;
  size_t pos_ = 0;
};

// A console's bytes; what the library sent back is collected in Sent().
// After the bytes the console is silent (every wait expires).
class BufferConsole : public quillon::net::ConsoleChannel {
 public:
  explicit BufferConsole(std::string bytes, bool sendFails = false)
      : bytes_(std::move(bytes)), sendFails_(sendFails) {}
  int WaitReadable(int) override { return pos_ < bytes_.size() ? 1 : 0; }
  long ReceiveByte(unsigned char* byte) override {
    if (pos_ >= bytes_.size()) return 0;
    *byte = static_cast<unsigned char>(bytes_[pos_++]);
    return 1;
  }
  bool SendBytes(const unsigned char* bytes, size_t length) override {
    if (sendFails_) return false;
    sent_.append(reinterpret_cast<const char*>(bytes), length);
    return true;
  }
  const std::string& Sent() const { return sent_; }

 private:
  std::string bytes_;
  size_t pos_ = 0;
  bool sendFails_;
  std::string sent_;
};

}  // namespace quillon_test
