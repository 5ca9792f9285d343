#include "resources/HelpFormat.h"

#include <sstream>

namespace quillon {

std::string WrapText(const std::string& text, int indent, int width) {
  std::string out;
  const std::string pad(static_cast<std::size_t>(indent), ' ');
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find("\n\n", start);
    if (end == std::string::npos) end = text.size();
    std::istringstream words(text.substr(start, end - start));
    std::string word, line;
    while (words >> word) {
      if (!line.empty() && indent + static_cast<int>(line.size() + 1 + word.size()) > width) {
        out += pad + line + "\n";
        line.clear();
      }
      line += (line.empty() ? "" : " ") + word;
    }
    if (!line.empty()) out += pad + line + "\n";
    start = end + 2;
    if (start <= text.size()) out += "\n";
  }
  return out;
}

std::string RoffText(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      if ((c == '.' || c == '\'') && (i == 0 || text[i - 1] == '\n')) out += "\\&";
      out += c;
    }
  }
  return out;
}

std::string RoffParagraphs(const std::string& text) {
  std::string out;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find("\n\n", start);
    if (end == std::string::npos) end = text.size();
    out += ".PP\n" + RoffText(text.substr(start, end - start)) + "\n";
    start = end + 2;
  }
  return out;
}

}  // namespace quillon
