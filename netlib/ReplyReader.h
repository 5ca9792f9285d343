#pragma once
#include <cstddef>

#include "netlib/Bounds.h"
#include "netlib/PeekSource.h"

namespace quillon::net {

// How the reading of a reply ended.
enum class ReplyEnd {
  Complete,  // a whole reply was read
  Closed,    // the connection closed (or failed) before a reply line
  TimedOut,  // a wait or the reply's total time ran out
  TooLong,   // the reply passed its byte bound
};

// Reads one FTP reply into work (size bytes): a single line, or every line
// of a multi-line reply up to "NNN " with the first line's code. Each wait
// takes at most timeoutMs (when > 0), the whole reply at most totalMs and
// maxBytes. Returns the code of the first line, 0 when no reply came in
// those bounds or its first three characters are not digits. work keeps
// the last line read, without its line end.
int ReadReply(PeekSource& source, char* work, size_t size, int timeoutMs,
              ReplyEnd* end = nullptr, int totalMs = kReplyTotalMs,
              size_t maxBytes = kReplyMaxBytes);

// The code of a reply line, 0 when the first three characters are not digits.
int ReplyCode(const char* line);

}  // namespace quillon::net
