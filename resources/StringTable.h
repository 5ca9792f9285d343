#pragma once
// The program's texts by number: messages, captions, the open dialog's
// filter and the built-in model rows. They ship as a Qt resource
// (":/strings/strings.tsv", UTF-8) and are read once on first use.

#include <QString>

#include <map>
#include <string>
#include <string_view>

namespace quillon {

// Ids below this are rows of the model table, the same in every language.
inline constexpr int kFirstTextId = 500;

// The text with this id in the current language (see Translations.h), or
// "" when the table has none.
std::string LoadStr(int id);
QString LoadQStr(int id);

// Parses table text ("id<TAB>text" lines, "#" comments, escapes \n \r \t
// and \\; any other backslash stays). Lines that do not parse are skipped;
// the first line of an id wins.
std::map<int, std::string> ParseStringTable(std::string_view bytes);

}  // namespace quillon
