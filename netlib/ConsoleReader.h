#pragma once
#include <cstddef>
#include <cstdint>

#include "netlib/Bounds.h"
#include "netlib/Deadline.h"

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
  // True when all bytes went out (within the channel's send bound).
  virtual bool SendBytes(const unsigned char* bytes, size_t length) = 0;
  // True once the caller asked the query to stop (its waits then fail).
  virtual bool Aborted() const { return false; }
};

// Longest console line kept while reading (without its NUL).
constexpr size_t kConsoleLineMax = 1023;

// The console's prompts: the two network interface models and the login
// name's echo, each at the start of a line (case matters).
bool IsAcceptedPrompt(const char* line);
// A line without line end that needs no more: the login request "User:"
// (any case), or an accepted prompt ending in ">" (and a blank).
bool IsCompletePrompt(const char* line, size_t length);

// Reads one console line, answering option requests on the way: WILL gets
// DONT, DO gets WONT. A line ends at LF, at 1023 characters, after waitMs
// of silence (a prompt such as "User:" has no line end) or, for a complete
// prompt, after a short quiet spell; and at the deadline or after
// kConsoleLineMaxBytes bytes, telnet negotiation included. On success the
// line, CR LF included, replaces buffer when shorter than size; else the
// buffer keeps the last line read. 0 or ERR_NOT_PRINTER. *cut, when
// given, tells a line that ended at 1023 characters: the rest of it is
// still to come.
uint32_t ReadConsoleLine(ConsoleChannel& channel, char* buffer, size_t size, int waitMs,
                         const Deadline& deadline = Deadline(), bool* cut = nullptr);

}  // namespace quillon::net
