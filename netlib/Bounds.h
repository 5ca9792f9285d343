#pragma once
#include <cstddef>

// The network library's bounds: every call ends within them, whatever the
// peer does. Waits for single bytes are bounded too (see FtpTimeouts and
// ConsoleOptions); these bound the whole of one step.
namespace quillon::net {

// One FTP reply, continuation lines and an over-long line's skipped rest
// included: at most this long and this many bytes, else it counts as none.
constexpr int kReplyTotalMs = 60000;
constexpr std::size_t kReplyMaxBytes = 64 * 1024;

// The directory listing on its data connection: read and dropped, but only
// this long and this much (which also bounds memory).
constexpr int kListingTotalMs = 60000;
constexpr std::size_t kListingMaxBytes = 4 * 1024 * 1024;

// One send on the control or the data connection (a command line, or one
// block of the file): a peer that stops reading fails it after this long.
constexpr int kSendTotalMs = 60000;

// The console dialogue after its connect (login, telnet option answers,
// the question and its answer), and each send to the console.
constexpr int kConsoleDialogueMs = 15000;
constexpr int kConsoleSendMs = 5000;
// Bytes one console line read takes in, telnet negotiation included; a
// console that only negotiates ends the read there.
constexpr std::size_t kConsoleLineMaxBytes = 4096;

// A line without line end that is a complete prompt or login request ends
// once the console has been quiet this long (instead of the full wait).
constexpr int kPromptSettleMs = 30;

}  // namespace quillon::net
