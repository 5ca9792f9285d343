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

int ReadReply(PeekSource& source, char* work, size_t size, int timeoutMs) {
  if (size < 5) return 0;
  if (ReadLine(source, work, size, timeoutMs) == 0) return 0;
  StripLineEnd(work);
  const int code = ReplyCode(work);
  if (std::strlen(work) < 4 || work[3] != '-') return code;
  char first[3];
  std::memcpy(first, work, 3);
  while (ReadLine(source, work, size, timeoutMs) != 0) {
    StripLineEnd(work);
    if (std::strlen(work) >= 4 && std::memcmp(work, first, 3) == 0 && work[3] == ' ') break;
  }
  return code;
}

}  // namespace quillon::net
