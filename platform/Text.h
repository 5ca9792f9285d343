#pragma once
// Small text rules shared by every layer (the network library included, so
// header-only): UTF-8-safe cuts, ASCII-only case folding as printer, queue
// and profile names are compared, and the printer-name form of an FTP target.

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// The length of the longest prefix of s that has at most maxBytes bytes and
// ends on a character boundary.
inline std::size_t Utf8FitLength(std::string_view s, std::size_t maxBytes) {
  if (s.size() <= maxBytes) return s.size();
  std::size_t n = maxBytes;
  // Byte n would start the part cut off; step back over a character's middle.
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return n;
}

inline std::string_view Utf8Cut(std::string_view s, std::size_t maxBytes) {
  return s.substr(0, Utf8FitLength(s, maxBytes));
}

inline char LowerAsciiChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool SameTextNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAsciiChar(a[i]) != LowerAsciiChar(b[i])) return false;
  }
  return true;
}

inline std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerAsciiChar(c);
  return out;
}

inline std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// A printer text names a printer's FTP server when it holds "ftp://"
// anywhere; any other text is a spooler queue.
inline constexpr std::string_view kFtpScheme = "ftp://";
inline bool IsFtpPrinterName(std::string_view name) {
  return name.find(kFtpScheme) != std::string_view::npos;
}

}  // namespace platform
