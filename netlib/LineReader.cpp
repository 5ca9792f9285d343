#include "netlib/LineReader.h"

#include <cstring>

namespace quillon::net {

size_t ReadLine(PeekSource& source, char* buffer, size_t size, int timeoutMs, bool* expired,
                const Deadline& deadline) {
  if (expired) *expired = false;
  if (buffer == nullptr || size == 0) return 0;
  const size_t room = size - 1;
  size_t count = 0;
  while (count < room) {
    if (timeoutMs > 0) {
      const int wait = deadline.WaitMs(timeoutMs);
      const int ready = wait > 0 ? source.WaitReadable(wait) : 0;
      if (ready <= 0) {
        if (ready == 0 && expired) *expired = true;
        break;
      }
    }
    const long peeked = source.Peek(buffer + count, room - count);
    if (peeked <= 0) break;
    // A CR that ended the previous piece: its LF is the next byte.
    if (count > 0 && buffer[count - 1] == '\r') {
      if (source.Receive(buffer + count, 1) != 1) break;
      buffer[count + 1] = '\0';
      return count + 1;
    }
    const size_t end = count + static_cast<size_t>(peeked);
    for (size_t i = count; i + 1 < end; ++i) {
      if (buffer[i] == '\r' && buffer[i + 1] == '\n') {
        const size_t take = i + 2 - count;
        if (source.Receive(buffer + count, take) != static_cast<long>(take)) {
          buffer[count] = '\0';
          return count;
        }
        buffer[i + 2] = '\0';
        return i + 2;
      }
    }
    const long taken = source.Receive(buffer + count, static_cast<size_t>(peeked));
    if (taken <= 0) break;
    count += static_cast<size_t>(taken);
  }
  buffer[count] = '\0';
  return count;
}

void StripLineEnd(char* text) {
  if (text == nullptr) return;
  const size_t len = std::strlen(text);
  auto isEnd = [](char c) { return c == '\r' || c == '\n'; };
  if (len == 1 && isEnd(text[0])) {
    text[0] = '\0';
  } else if (len >= 2) {
    if (isEnd(text[len - 2]))
      text[len - 2] = '\0';
    else if (isEnd(text[len - 1]))
      text[len - 1] = '\0';
  }
}

}  // namespace quillon::net
