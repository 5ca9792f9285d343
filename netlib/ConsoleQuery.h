#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "netlib/Bounds.h"
#include "netlib/ConsoleReader.h"
#include "platform/Error.h"
#include "platform/UniqueFd.h"

namespace quillon::net {

// The console's bounds: each wait for input, the connect's cycles of a
// pause followed by a wait for the console's first bytes, the whole
// dialogue after the connect, and each send.
struct ConsoleOptions {
  int port = 23;  // 0 or below means 23
  int waitMs = 1000;
  int connectCycles = 20;
  int connectPauseMs = 100;
  int dialogueMs = kConsoleDialogueMs;
  int sendMs = kConsoleSendMs;
  // A console that talks on without end is left after this many lines in
  // one search.
  int maxLines = 1000;
};

// The longest model or version value, in the console's bytes.
constexpr size_t kConsoleValueMax = 39;

// The text after the first ": " of line, cut at its line end and at 39
// bytes of the console's Shift-JIS (never inside a character), in UTF-8.
std::string TakeValue(const char* line);

// Connects to the console at host (IPv4, IPv6 or a name; "[v6]:port" and
// "host:port" too); an invalid fd and the reason when no console answered.
platform::UniqueFd ConsoleConnect(const char* host, const ConsoleOptions& options,
                                  platform::Error* error);

// A console channel on a connected socket; sends are bounded.
class SocketConsole : public ConsoleChannel {
 public:
  SocketConsole(int fd, int sendMs) : fd_(fd), sendMs_(sendMs) {}
  int WaitReadable(int timeoutMs) override;
  long ReceiveByte(unsigned char* byte) override;
  bool SendBytes(const unsigned char* bytes, size_t length) override;

 private:
  int fd_;
  int sendMs_;
};

// Logs in, checks the prompt, asks "stat port" and picks the model and
// version out of the answer. 0 or ERR_NOT_PRINTER, with the reason.
platform::Error QueryConsole(ConsoleChannel& channel, std::string* model, std::string* version,
                             const ConsoleOptions& options);
// Connects and queries: 0, ERR_CONNECT or ERR_NOT_PRINTER, with the reason.
platform::Error Query(const char* host, std::string* model, std::string* version,
                      const ConsoleOptions& options = ConsoleOptions());

}  // namespace quillon::net
