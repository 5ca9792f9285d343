#pragma once
#include <cstddef>

#include "netlib/PeekSource.h"

namespace quillon::net {

// Reads one FTP reply into work (size bytes): a single line, or every line
// of a multi-line reply up to "NNN " with the first line's code. Returns
// the code of the first line, 0 when no reply came or its first three
// characters are not digits.
int ReadReply(PeekSource& source, char* work, size_t size, int timeoutMs);

// The code of a reply line, 0 when the first three characters are not digits.
int ReplyCode(const char* line);

}  // namespace quillon::net
