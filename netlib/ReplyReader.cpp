#include "netlib/ReplyReader.h"

#include <cstring>

#include "netlib/Deadline.h"
#include "netlib/LineReader.h"

namespace quillon::net {

int ReplyCode(const char* line) {
  int code = 0;
  for (int i = 0; i < 3; ++i) {
    const char c = line[i];
    if (c < '0' || c > '9') return 0;
    code = code * 10 + (c - '0');
  }
  return code;
}

namespace {

// The bounds of one reply, shared by its lines.
struct ReplyBudget {
  PeekSource& source;
  int waitMs;
  Deadline deadline;
  size_t bytesLeft;
  ReplyEnd end = ReplyEnd::Complete;

  // One line into buffer; 0 when none came (end says why).
  size_t Line(char* buffer, size_t size) {
    bool expired = false;
    const size_t n = ReadLine(source, buffer, size, waitMs, &expired, deadline);
    if (n == 0) {
      end = expired || deadline.Expired() ? ReplyEnd::TimedOut : ReplyEnd::Closed;
      return 0;
    }
    if (n > bytesLeft) {
      end = ReplyEnd::TooLong;
      return 0;
    }
    bytesLeft -= n;
    return n;
  }

  // After a line cut at CR: its LF, if that is what comes next.
  bool TakeLf() {
    const int wait = deadline.WaitMs(waitMs);
    if (waitMs > 0 && (wait <= 0 || source.WaitReadable(wait) <= 0)) return false;
    char c = 0;
    if (source.Peek(&c, 1) != 1 || c != '\n') return false;
    return source.Receive(&c, 1) == 1;
  }
};

// Reads one reply line; a line longer than the buffer keeps its start and
// the rest is skipped, so it cannot pass for the next reply. False when
// no line came or the rest could not be skipped within the bounds.
bool ReadReplyLine(ReplyBudget& budget, char* work, size_t size) {
  const size_t n = budget.Line(work, size);
  if (n == 0) return false;
  if (work[n - 1] == '\n') return true;
  // The line filled the buffer. Its end may have been split: a CR that was
  // the last byte that fitted, with the LF still waiting.
  bool lastCr = work[n - 1] == '\r';
  char rest[256];
  for (;;) {
    if (lastCr && budget.TakeLf()) return true;
    const size_t m = budget.Line(rest, sizeof(rest));
    if (m == 0) return budget.end == ReplyEnd::Closed;
    if (rest[m - 1] == '\n') return true;
    lastCr = rest[m - 1] == '\r';
  }
}

}  // namespace

int ReadReply(PeekSource& source, char* work, size_t size, int timeoutMs, ReplyEnd* end,
              int totalMs, size_t maxBytes) {
  ReplyBudget budget{source, timeoutMs, Deadline::AfterMs(totalMs), maxBytes};
  auto finish = [&](int code) {
    if (end) *end = budget.end;
    return code;
  };
  if (size < 5) return finish(0);
  work[0] = '\0';
  if (!ReadReplyLine(budget, work, size)) return finish(0);
  StripLineEnd(work);
  const int code = ReplyCode(work);
  if (std::strlen(work) < 4 || work[3] != '-') return finish(code);
  char first[3];
  std::memcpy(first, work, 3);
  while (ReadReplyLine(budget, work, size)) {
    StripLineEnd(work);
    if (std::strlen(work) >= 4 && std::memcmp(work, first, 3) == 0 && work[3] == ' ')
      return finish(code);
  }
  // The connection closed (or a wait ran out) inside the reply: the first
  // line's code stands. A reply past its total bounds is none.
  if (budget.end == ReplyEnd::TooLong || budget.deadline.Expired()) return finish(0);
  return finish(code);
}

}  // namespace quillon::net
