#pragma once
#include <cstddef>
#include <cstdint>

namespace quillon::net {

// Telnet bytes the console dialogue uses.
constexpr unsigned char kIac = 255, kWill = 251, kWont = 252, kDo = 253, kDont = 254;
constexpr unsigned char kOptLogout = 18;

// The printer's console connection, byte by byte.
class ConsoleChannel {
 public:
  virtual ~ConsoleChannel() = default;
  // 1 input pending (or closed), 0 the wait expired, -1 failure.
  virtual int WaitReadable(int timeoutMs) = 0;
  // Receives one byte: 1, or 0/-1 when the console closed or failed.
  virtual long ReceiveByte(unsigned char* byte) = 0;
  // True when all bytes went out in one send.
  virtual bool SendBytes(const unsigned char* bytes, size_t length) = 0;
};

// Longest console line kept while reading (without its NUL).
constexpr size_t kConsoleLineMax = 1023;

// Reads one console line, answering option requests on the way: WILL gets
// DONT, DO gets WONT. A line ends at LF, at 1023 characters, or after
// waitMs of silence (a prompt such as "User:" has no line end). On success
// the line, CR LF included, replaces buffer when shorter than size; else
// the buffer keeps the last line read. 0 or ERR_NOT_PRINTER.
uint32_t ReadConsoleLine(ConsoleChannel& channel, char* buffer, size_t size, int waitMs);

// A console channel over a byte buffer, for tests: what the library sent
// back is collected in Sent().
class BufferConsole : public ConsoleChannel {
 public:
  explicit BufferConsole(const unsigned char* bytes, size_t length, bool sendFails = false)
      : bytes_(bytes), length_(length), sendFails_(sendFails) {}
  int WaitReadable(int) override { return pos_ < length_ ? 1 : 0; }
  long ReceiveByte(unsigned char* byte) override;
  bool SendBytes(const unsigned char* bytes, size_t length) override;
  const unsigned char* SentBytes() const { return sent_; }
  size_t SentLength() const { return sentLength_; }

 private:
  const unsigned char* bytes_;
  size_t length_;
  size_t pos_ = 0;
  bool sendFails_;
  unsigned char sent_[64] = {};
  size_t sentLength_ = 0;
};

}  // namespace quillon::net
