#pragma once
// Bounded copies into the fixed text fields of the program's records. Texts
// are UTF-8; a cut never splits a multi-byte character.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The length of the longest prefix of s that has at most maxBytes bytes and
// ends on a character boundary.
std::size_t Utf8FitLength(std::string_view s, std::size_t maxBytes);
inline std::string_view Utf8Cut(std::string_view s, std::size_t maxBytes) {
  return s.substr(0, Utf8FitLength(s, maxBytes));
}

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

// ASCII letter case only, as the profile and spooler names are compared.
bool SameTextNoCase(std::string_view a, std::string_view b);
std::string UpperAscii(std::string_view s);

// C library conversion: leading blanks, an optional sign, then decimal
// digits; 0 when there are none. Saturates instead of overflowing.
int LeadingInt(std::string_view s);

// Splits like strtok: leading separators skipped, runs count as one, so
// no token is empty.
std::vector<std::string_view> Tokenize(std::string_view s, char sep);
