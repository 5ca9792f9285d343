#include "netlib/ReplyReader.h"

#include <cstring>

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

// Reads one reply line; a line longer than the buffer keeps its start and
// the rest is skipped, so it cannot pass for the next reply.
size_t ReadReplyLine(PeekSource& source, char* work, size_t size, int timeoutMs) {
  const size_t n = ReadLine(source, work, size, timeoutMs);
  if (n == 0 || work[n - 1] == '\n') return n;
  char rest[256];
  for (;;) {
    const size_t m = ReadLine(source, rest, sizeof(rest), timeoutMs);
    if (m == 0 || rest[m - 1] == '\n') break;
  }
  return n;
}

}  // namespace

int ReadReply(PeekSource& source, char* work, size_t size, int timeoutMs) {
  if (size < 5) return 0;
  if (ReadReplyLine(source, work, size, timeoutMs) == 0) return 0;
  StripLineEnd(work);
  const int code = ReplyCode(work);
  if (std::strlen(work) < 4 || work[3] != '-') return code;
  char first[3];
  std::memcpy(first, work, 3);
  while (ReadReplyLine(source, work, size, timeoutMs) != 0) {
    StripLineEnd(work);
    if (std::strlen(work) >= 4 && std::memcmp(work, first, 3) == 0 && work[3] == ' ') break;
  }
  return code;
}

}  // namespace quillon::net
