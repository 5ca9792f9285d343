#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace quillon::net {

// The printer's console speaks Shift-JIS (code page 932).

// The length of the longest prefix of at most maxBytes bytes that does not
// split a double-byte character.
std::size_t ShiftJisFitLength(std::string_view bytes, std::size_t maxBytes);

// Shift-JIS to UTF-8; a byte that starts no character becomes U+FFFD.
std::string ShiftJisToUtf8(std::string_view bytes);

}  // namespace quillon::net
