#include "cli/Language.h"

#include <QLocale>

#include <atomic>
#include <regex>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "resources/Translations.h"

namespace cli {

namespace {

// 0 not decided yet, 1 English, 2 Japanese.
std::atomic<int> gLanguage{0};

const std::unordered_map<std::string_view, const char*>& Table() {
  static const auto table = [] {
    std::unordered_map<std::string_view, const char*> t;
    for (const auto& [en, ja] : JapaneseTexts()) t.emplace(en, ja);
    return t;
  }();
  return table;
}

// The entries with "{}" in their English: each "{}" stands for any text,
// itself translated where the table knows it.
struct Pattern {
  std::regex english;
  std::string japanese;
};

std::string Escaped(const std::string& literal) {
  static const std::string special = "\\^$.|?*+()[]{}";
  std::string out;
  for (char c : literal) {
    if (special.find(c) != std::string::npos) out += '\\';
    out += c;
  }
  return out;
}

const std::vector<Pattern>& Patterns() {
  static const auto patterns = [] {
    std::vector<Pattern> list;
    for (const auto& [en, ja] : JapaneseTexts()) {
      const std::string english = en;
      if (english.find("{}") == std::string::npos) continue;
      std::string regex;
      std::size_t start = 0;
      for (std::size_t at; (at = english.find("{}", start)) != std::string::npos; start = at + 2)
        regex += Escaped(english.substr(start, at - start)) + "(.*?)";
      regex += Escaped(english.substr(start));
      list.push_back({std::regex(regex), ja});
    }
    return list;
  }();
  return patterns;
}

std::string LineIn(const std::string& line, int depth) {
  if (const char* ja = JapaneseOf(line)) return ja;
  if (depth > 4 || line.size() > 4096) return line;
  for (const Pattern& p : Patterns()) {
    std::smatch m;
    if (!std::regex_match(line, m, p.english)) continue;
    std::string out;
    std::size_t start = 0, part = 1;
    for (std::size_t at; (at = p.japanese.find("{}", start)) != std::string::npos; start = at + 2)
      out += p.japanese.substr(start, at - start) +
             (part < m.size() ? LineIn(m[part++].str(), depth + 1) : std::string());
    return out + p.japanese.substr(start);
  }
  return line;
}

}  // namespace

std::string TrLine(const std::string& line) {
  if (!JapaneseRun() || line.empty() || line.front() == '{') return line;
  // Table rows: data between tabs, only a header is a text of its own.
  if (line.find('\t') != std::string::npos) return Tr(line);
  return LineIn(line, 0);
}

bool JapaneseRun() {
  int language = gLanguage.load();
  if (language == 0) {
    language = quillon::UsesSourceLanguage(QLocale::system()) ? 2 : 1;
    gLanguage.store(language);
  }
  return language == 2;
}

void SetJapaneseRun(bool japanese) { gLanguage.store(japanese ? 2 : 1); }

const char* JapaneseOf(const std::string& english) {
  const auto it = Table().find(english);
  return it == Table().end() ? nullptr : it->second;
}

std::string Tr(const std::string& english) {
  if (!JapaneseRun()) return english;
  const char* ja = JapaneseOf(english);
  return ja ? std::string(ja) : english;
}

}  // namespace cli
