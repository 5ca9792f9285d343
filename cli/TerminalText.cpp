#include "cli/TerminalText.h"

#include <cstdio>

namespace cli {

std::string ForTerminal(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  char buf[8];
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\r') {
      out += '\n';
    } else if (c == '\n' || c == '\t') {
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      // A C1 control in UTF-8: U+009B is a complete escape introducer.
      std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned char>(text[++i]));
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace cli
