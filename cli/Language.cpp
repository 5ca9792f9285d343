#include "cli/Language.h"

#include <QLocale>

#include <atomic>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "resources/Translations.h"

namespace cli {

// LanguageJa.cpp: pairs of English and Japanese.
const std::vector<std::pair<const char*, const char*>>& JapaneseTexts();

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

}  // namespace

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
