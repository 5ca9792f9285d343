#pragma once
// The forms name the Windows Japanese gothic faces; on this platform they
// are served by an installed Japanese gothic through Qt's font substitution.
#include <QFont>
#include <QString>

class QLabel;

namespace quillon {

inline constexpr const char* kFontPGothic = "ＭＳ Ｐゴシック";
inline constexpr const char* kFontGothic = "ＭＳ ゴシック";
inline constexpr const char* kFontVerticalPGothic = "@ＭＳ Ｐゴシック";

// Maps the three face names onto the installed Japanese gothic fonts (Noto
// Sans CJK JP first). Called once by the program's entry, after the
// application object exists. Returns false when no Japanese gothic is
// installed (the texts then fall back to whatever Qt finds).
bool InstallJapaneseFonts();

// A form's font: the face as the form names it, at a height in pixels.
QFont FormFont(const char* family, int pixelSize);

// The substitute face is wider than the designed one: a label placed at its
// designed rectangle grows (right and down) until its whole text shows.
void FitLabel(QLabel* label);

}  // namespace quillon
