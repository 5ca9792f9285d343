#pragma once
#include <cstddef>

namespace quillon::net {

// Where the FTP line reader takes its bytes from: a connected socket, or a
// stand-in in tests.
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

}  // namespace quillon::net
