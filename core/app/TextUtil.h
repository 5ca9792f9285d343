#pragma once
// Bounded copies into the fixed text fields of the program's records. Texts
// are UTF-8; a cut never splits a multi-byte character.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Text.h"

namespace quillon {

using platform::SameTextNoCase;
using platform::UpperAscii;
using platform::Utf8Cut;
using platform::Utf8FitLength;

// Copies at most maxBytes bytes of src (cut as above) into dst and ends it
// with NUL; maxBytes is further bounded by dstSize - 1.
void CopyText(char* dst, std::size_t dstSize, std::string_view src, std::size_t maxBytes);

template <std::size_t N>
void SetField(char (&field)[N], std::string_view src, std::size_t maxBytes = N - 1) {
  CopyText(field, N, src, maxBytes);
}

// The text of a fixed field, up to its NUL (or its full size without one).
template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
  std::size_t n = 0;
  while (n < N && field[n] != '\0') ++n;
  return std::string_view(field, n);
}

// C library conversion: leading blanks, an optional sign, then decimal
// digits; 0 when there are none. Saturates instead of overflowing.
int LeadingInt(std::string_view s);

// Splits like strtok: leading separators skipped, runs count as one, so
// no token is empty.
std::vector<std::string_view> Tokenize(std::string_view s, char sep);

}  // namespace quillon
