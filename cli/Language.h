#pragma once
// One language per run: quillon-cli speaks Japanese in a Japanese locale,
// as the download messages of the string table do there, and English in
// every other one. Its own texts are written in English in the code; Tr()
// gives the Japanese of a text listed in LanguageJa.cpp in a Japanese run.
// A text not listed there stays English, so a new help entry or message
// works at once and only needs its line in that table.
//
// Texts meant for scripts (JSON keys and values such as outcome, reason,
// step) never go through Tr().

#include <string>
#include <utility>
#include <vector>

namespace cli {

// Decided once from the locale (LC_ALL, LC_MESSAGES, LANG) the same way as
// the string table's language.
bool JapaneseRun();
// Tests switch it; the next Tr() answers in that language.
void SetJapaneseRun(bool japanese);

// The text in this run's language.
std::string Tr(const std::string& english);
// A whole line in this run's language: the text itself, or an entry whose
// English has "{}" for the parts that vary ("{}: refused: {}"), the parts
// translated in turn. A JSON line ("{...") is never changed.
std::string TrLine(const std::string& line);
// The table itself (LanguageJa.cpp): pairs of English and Japanese.
const std::vector<std::pair<const char*, const char*>>& JapaneseTexts();

// The Japanese of an English text, or nullptr when the table has none.
const char* JapaneseOf(const std::string& english);

}  // namespace cli
