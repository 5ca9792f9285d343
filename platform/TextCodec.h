#pragma once
// Texts from firmware packages: Japanese code page 932 (Shift-JIS) bytes,
// or UTF-8 when the file says so with a byte order mark. The program keeps
// UTF-8. The encoding is never guessed from the bytes: CP932 text is often
// valid UTF-8 by chance (C3 BD is "ﾃｽ", not "ý").

#include <string>
#include <string_view>

namespace platform {

enum class TextEncoding { kCp932, kUtf8 };

bool IsValidUtf8(std::string_view bytes);

// True for a byte that starts a double-byte Shift-JIS character.
inline bool IsShiftJisLead(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Text in the given encoding to UTF-8; a byte sequence that is not a
// character becomes U+FFFD.
std::string ToUtf8(std::string_view bytes, TextEncoding from = TextEncoding::kCp932);

// The longest prefix of at most maxBytes bytes that does not split a
// character of the given encoding.
std::string_view CutText(std::string_view bytes, size_t maxBytes,
                         TextEncoding enc = TextEncoding::kCp932);

// Replaces each backslash that is a character of its own (in CP932 never
// the second byte of a double-byte character) by a slash.
std::string BackslashesToSlashes(std::string_view bytes, TextEncoding enc = TextEncoding::kCp932);

}  // namespace platform
