#pragma once
// Texts from firmware packages: Japanese code page 932 (Shift-JIS) bytes, or
// UTF-8. The program keeps UTF-8.

#include <string>
#include <string_view>

namespace platform {

bool IsValidUtf8(std::string_view bytes);

// True for a byte that starts a double-byte Shift-JIS character.
inline bool IsShiftJisLead(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Code page 932 to UTF-8; a byte sequence that is not a character becomes
// U+FFFD. Text that is already valid UTF-8 is returned unchanged.
std::string ToUtf8(std::string_view bytes);

// The longest prefix of at most maxBytes bytes that does not split a
// character: of UTF-8 when the text is valid UTF-8, else of Shift-JIS.
std::string_view CutText(std::string_view bytes, size_t maxBytes);

// Replaces each backslash that is a character of its own (never the second
// byte of a double-byte Shift-JIS character) by a slash.
std::string BackslashesToSlashes(std::string_view bytes);

}  // namespace platform
