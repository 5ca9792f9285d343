#include "resources/HelpFormat.h"

#include <vector>

namespace quillon {

namespace {

// One unit a line may break after: a word of narrow characters, or a
// single wide (CJK) character with the punctuation that must stay with it.
struct Piece {
  std::string text;
  int columns = 0;
  bool spaceBefore = false;
};

// The code point at s[i] and its length in bytes (a broken sequence is one
// byte of its own).
char32_t CodePoint(const std::string& s, std::size_t i, std::size_t& length) {
  const auto c = static_cast<unsigned char>(s[i]);
  const int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
  if (i + static_cast<std::size_t>(n) > s.size()) {
    length = 1;
    return c;
  }
  char32_t cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
  for (int k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  length = static_cast<std::size_t>(n);
  return cp;
}

bool Wide(char32_t cp) {
  if (cp >= 0xFF61 && cp <= 0xFF9F) return false;  // half-width kana
  return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
         (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
         (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
         (cp >= 0xFFE0 && cp <= 0xFFE6);
}

bool SmallKana(char32_t cp) {
  for (char32_t k : {0x3041, 0x3043, 0x3045, 0x3047, 0x3049, 0x3083, 0x3085, 0x3087, 0x308E,
                     0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9, 0x30E3, 0x30E5, 0x30E7, 0x30EE})
    if (cp == k) return true;
  return false;
}

// Never at the start of a line / never at its end.
bool Closing(char32_t cp) {
  return cp == U'\u3001' || cp == U'\u3002' || cp == U'\uFF09' || cp == U'\u300D' ||
         cp == U'\u300F' || cp == U'\uFF0C' || cp == U'\uFF0E' || cp == U'\u30FC' ||
         cp == U'\uFF1A' || cp == U'\uFF1B' || cp == U'\u3011' || cp == U'\uFF3D' ||
         cp == U'\u3063' || cp == U'\u30C3' || cp == U')' || cp == U',' || cp == U'.' ||
         cp == U':' || cp == U';' || SmallKana(cp);
}
bool Opening(char32_t cp) {
  return cp == U'\uFF08' || cp == U'\u300C' || cp == U'\u300E' || cp == U'\u3010' ||
         cp == U'\uFF3B';
}

std::vector<Piece> Pieces(const std::string& text) {
  std::vector<Piece> pieces;
  bool space = false, glue = false, lastWide = false;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = 1;
    const char32_t cp = CodePoint(text, i, length);
    const std::string ch = text.substr(i, length);
    i += length;
    if (cp == U' ' || cp == U'\t' || cp == U'\n' || cp == U'\r') {
      space = true;
      continue;
    }
    const bool wide = Wide(cp);
    const int columns = wide ? 2 : 1;
    const bool join = !pieces.empty() && !space &&
                      (glue || Closing(cp) || (!wide && !lastWide));
    if (join) {
      pieces.back().text += ch;
      pieces.back().columns += columns;
    } else {
      pieces.push_back({ch, columns, space});
    }
    glue = Opening(cp);
    lastWide = wide;
    space = false;
  }
  return pieces;
}

}  // namespace

int TextColumns(const std::string& text) {
  int columns = 0;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = 1;
    columns += Wide(CodePoint(text, i, length)) ? 2 : 1;
    i += length;
  }
  return columns;
}

std::string WrapText(const std::string& text, int indent, int width) {
  std::string out;
  const std::string pad(static_cast<std::size_t>(indent), ' ');
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find("\n\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line;
    int columns = 0;
    for (const Piece& p : Pieces(text.substr(start, end - start))) {
      const int gap = line.empty() ? 0 : p.spaceBefore ? 1 : 0;
      if (!line.empty() && indent + columns + gap + p.columns > width) {
        out += pad + line + "\n";
        line.clear();
        columns = 0;
      }
      if (!line.empty() && p.spaceBefore) {
        line += ' ';
        ++columns;
      }
      line += p.text;
      columns += p.columns;
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
