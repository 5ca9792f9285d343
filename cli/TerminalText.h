#pragma once
// Text from a package or a printer on its way to a terminal: control
// characters would be obeyed there (set the title, clear the screen), so
// they are shown escaped. JSON output escapes them by its own rules.

#include <string>
#include <string_view>

namespace cli {

// Line feeds and tabs stay, carriage returns become line feeds (the decoded
// package messages use them as line breaks); every other C0 control, DEL
// and each C1 control (U+0080..U+009F) is shown as "\xHH" (C1 as "\u0080").
std::string ForTerminal(std::string_view text);

}  // namespace cli
