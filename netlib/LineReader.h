#pragma once
#include <cstddef>

#include "netlib/Deadline.h"
#include "netlib/PeekSource.h"

namespace quillon::net {

// Reads one CR LF terminated line into buffer (size bytes with its NUL),
// consuming nothing after the LF. Waits at most timeoutMs for each piece
// when timeoutMs > 0, and never past deadline. Returns the count stored,
// line end included; 0 when the stream ended first. *expired tells a wait
// that ran out.
size_t ReadLine(PeekSource& source, char* buffer, size_t size, int timeoutMs,
                bool* expired = nullptr, const Deadline& deadline = Deadline());

// Cuts a trailing line end: at the first CR or LF among the last two bytes.
void StripLineEnd(char* text);

}  // namespace quillon::net
