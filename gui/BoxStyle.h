#pragma once
// What every box of the program shares: its buttons' size, its text broken
// into lines the Japanese way, and a width that shows its whole title.
#include <QString>

class QDialog;
class QFontMetrics;
class QPushButton;

namespace quillon {

// The buttons of the program's own message box: 82 x 28.
inline constexpr int kBoxButtonWidth = 82;
inline constexpr int kBoxButtonHeight = 28;
void StyleBoxButton(QPushButton* button);

// The text with line feeds where a line of at most width pixels must end.
// A run of one script (kanji, hiragana, katakana, Latin letters and
// digits) is a word and is not broken unless it alone is too wide; a
// closing mark (。、」) stays with what precedes it and an opening mark
// (「（) with what follows it. Existing line feeds stay.
QString BreakLines(const QString& text, const QFontMetrics& metrics, int width);

// Widens the box, when needed, so that its whole title fits in its title
// bar (the title's width plus room for the window buttons).
void FitTitle(QDialog* box);
int TitleWidth(const QDialog* box);

}  // namespace quillon
