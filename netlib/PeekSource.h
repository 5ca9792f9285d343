#pragma once
#include <cstddef>
#include <string>

namespace quillon::net {

// Where the FTP line reader takes its bytes from: a connected socket, or a
// plain byte buffer in tests.
class PeekSource {
 public:
  virtual ~PeekSource() = default;
  // 1 input pending (or end of stream), 0 the wait expired, -1 failure.
  virtual int WaitReadable(int timeoutMs) = 0;
  // Copies up to n pending bytes without consuming them; 0 at the end of
  // the stream, -1 on failure.
  virtual long Peek(char* bytes, size_t n) = 0;
  // Consumes up to n bytes; same results as Peek.
  virtual long Receive(char* bytes, size_t n) = 0;
};

// A byte buffer read as if it came over a connection, handed out in pieces
// of at most `piece` bytes so that lines may straddle reads.
class BufferSource : public PeekSource {
 public:
  explicit BufferSource(std::string bytes, size_t piece = 0)
      : bytes_(std::move(bytes)), piece_(piece) {}
  int WaitReadable(int) override { return 1; }
  long Peek(char* bytes, size_t n) override;
  long Receive(char* bytes, size_t n) override;
  size_t Consumed() const { return pos_; }

 private:
  size_t Available(size_t n) const;
  std::string bytes_;
  size_t piece_;
  size_t pos_ = 0;
};

}  // namespace quillon::net
