#pragma once
#include <cstddef>
#include <cstdint>

#include "netlib/ConsoleReader.h"
#include "netlib/UniqueFd.h"

namespace quillon::net {

// The console's bounds: each wait for input, and the connect's cycles of a
// pause followed by a wait for the console's first bytes.
struct ConsoleOptions {
  int port = 23;  // 0 or below means 23
  int waitMs = 1000;
  int connectCycles = 20;
  int connectPauseMs = 100;
  // A console that talks on without end is left after this many lines in
  // one search.
  int maxLines = 1000;
};

// The console answers these at the start of an accepted prompt line: the
// two network interface models and the login name's echo.
bool IsAcceptedPrompt(const char* line);

// Copies the text after the first ": " of line, cut at its line end, into
// out (size bytes, at most size - 1 of them, never half a UTF-8 character).
void TakeValue(const char* line, char* out, size_t size);

// Connects to the console at host (dotted IPv4, else looked up by name);
// returns an invalid fd when no console answered.
UniqueFd ConsoleConnect(const char* host, const ConsoleOptions& options);

// A console channel on a connected socket.
class SocketConsole : public ConsoleChannel {
 public:
  explicit SocketConsole(int fd) : fd_(fd) {}
  int WaitReadable(int timeoutMs) override;
  long ReceiveByte(unsigned char* byte) override;
  bool SendBytes(const unsigned char* bytes, size_t length) override;

 private:
  int fd_;
};

// Logs in, checks the prompt, asks "stat port" and picks the model and
// version (40-byte buffers, zero-filled by the caller) out of the answer.
// 0, ERR_CONNECT or ERR_NOT_PRINTER.
uint32_t QueryConsole(ConsoleChannel& channel, char* model, char* version,
                      const ConsoleOptions& options);
uint32_t Query(const char* host, char* model, char* version,
               const ConsoleOptions& options = ConsoleOptions());

}  // namespace quillon::net
