#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "netlib/AbortPoll.h"
#include "netlib/Bounds.h"
#include "netlib/ConsoleReader.h"
#include "netlib/quillon.h"
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
  // Asked at least every kAbortPollMs while the query waits (connect,
  // console input, a send); true ends the query with ERR_CANCELLED. Null:
  // the query ends only at its bounds (the export's way).
  AbortPoll::Check abort = nullptr;
  void* abortContext = nullptr;
};

// The longest model or version value, in the console's bytes.
constexpr size_t kConsoleValueMax = 39;

// The longest version line taken, without its line end and trailing
// blanks: what the console's 256-byte line buffer held with CR LF. A
// longer one is no version line the printer's interface writes; its value
// is not known (empty) rather than a cut that might compare as a real
// version. A longer model line gives its value cut to 39 bytes, as always.
constexpr size_t kConsoleVersionLineMax = 252;

// The text after the first ": " of line, cut at its line end, without the
// blanks (and tabs) around it, and cut at 39 bytes of the console's
// Shift-JIS (never inside a character), in UTF-8.
std::string TakeValue(const char* line);

// Connects to the console at host (IPv4, IPv6 or a name; "[v6]:port" and
// "host:port" too); an invalid fd and the reason when no console answered
// (ERR_CANCELLED when abort, if given, asked to stop).
platform::UniqueFd ConsoleConnect(const char* host, const ConsoleOptions& options,
                                  platform::Error* error, AbortPoll* abort = nullptr);

// A console channel on a connected socket; sends are bounded, and every
// wait is cut by abort (when given).
class SocketConsole : public ConsoleChannel {
 public:
  SocketConsole(int fd, int sendMs, AbortPoll* abort = nullptr)
      : fd_(fd), sendMs_(sendMs), abort_(abort) {}
  int WaitReadable(int timeoutMs) override;
  long ReceiveByte(unsigned char* byte) override;
  bool SendBytes(const unsigned char* bytes, size_t length) override;
  bool Aborted() const override { return abort_ != nullptr && abort_->Aborted(); }

 private:
  int fd_;
  int sendMs_;
  AbortPoll* abort_;
};

// Logs in, checks the prompt, asks "stat port" and picks the model and
// version out of the answer. Lines are taken whole (the rest of one longer
// than the reader keeps is skipped), so a long line never moves a value
// onto the next field. 0, ERR_NOT_PRINTER or (the channel aborted)
// ERR_CANCELLED, with the reason.
platform::Error QueryConsole(ConsoleChannel& channel, std::string* model, std::string* version,
                             const ConsoleOptions& options);
// Connects and queries: 0, ERR_CONNECT, ERR_NOT_PRINTER or ERR_CANCELLED,
// with the reason.
platform::Error Query(const char* host, std::string* model, std::string* version,
                      const ConsoleOptions& options = ConsoleOptions());
// QUILLON_GetPrinterInfo's work with the caller's options: on success the
// block filled (each value cut to 39 bytes on a character boundary),
// otherwise the block untouched; the thread's last error is left alone.
platform::Error GetPrinterInfo(const char* host, PrinterInfo* info,
                               const ConsoleOptions& options = ConsoleOptions());

}  // namespace quillon::net
