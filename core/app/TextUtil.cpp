#include "core/app/TextUtil.h"

#include <climits>
#include <cstdint>
#include <cstring>

namespace quillon {

void CopyText(char* dst, std::size_t dstSize, std::string_view src, std::size_t maxBytes) {
  if (!dst || dstSize == 0) return;
  if (maxBytes > dstSize - 1) maxBytes = dstSize - 1;
  const std::size_t n = Utf8FitLength(src, maxBytes);
  if (n) std::memcpy(dst, src.data(), n);
  dst[n] = '\0';
}

int LeadingInt(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = (s[i++] == '-');
  std::int64_t n = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    n = n * 10 + (s[i] - '0');
    if (n > std::int64_t{INT_MAX} + 1) n = std::int64_t{INT_MAX} + 1;
  }
  if (negative) n = -n;
  if (n > INT_MAX) n = INT_MAX;
  return static_cast<int>(n);
}

std::vector<std::string_view> Tokenize(std::string_view s, char sep) {
  std::vector<std::string_view> tokens;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && s[i] == sep) ++i;
    if (i >= s.size()) break;
    std::size_t end = s.find(sep, i);
    if (end == std::string_view::npos) end = s.size();
    tokens.push_back(s.substr(i, end - i));
    i = end;
  }
  return tokens;
}

}  // namespace quillon
