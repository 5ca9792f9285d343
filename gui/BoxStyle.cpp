#include "gui/BoxStyle.h"

#include <QDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QPushButton>
#include <QSpacerItem>

#include <vector>

namespace quillon {
namespace {

// Room beside the title for the icon and the window buttons.
constexpr int kTitleBarExtra = 96;

enum class Script { Kanji, Hiragana, Katakana, HalfKatakana, Latin, Other };

// Marks that may not start a line. Punctuation ends a word; small kana,
// the prolonged sound mark and the voicing marks belong to the word.
bool IsPunctuationClosing(QChar c) {
  static const QString closing = QStringLiteral("。、，．・：；？！）」』】〕〉》］｝…‥｡､｣･)]},.:;!?%");
  return closing.contains(c);
}

bool IsClosing(QChar c) {
  static const QString inWord = QStringLiteral("ーぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮｧｨｩｪｫｯｬｭｮｰﾞﾟ～");
  return IsPunctuationClosing(c) || inWord.contains(c);
}

bool IsOpening(QChar c) {
  static const QString opening = QStringLiteral("（「『【〔〈《［｛｢([{");
  return opening.contains(c);
}

Script ScriptOf(QChar c) {
  const char16_t u = c.unicode();
  if ((u >= 0x4E00 && u <= 0x9FFF) || (u >= 0x3400 && u <= 0x4DBF) || u == 0x3005) return Script::Kanji;
  if (u >= 0x3041 && u <= 0x309F) return Script::Hiragana;
  if (u >= 0x30A0 && u <= 0x30FF) return Script::Katakana;
  if (u >= 0xFF66 && u <= 0xFF9F) return Script::HalfKatakana;
  if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
      (u >= 0xFF10 && u <= 0xFF5A) || c == QLatin1Char('*') || c == QLatin1Char('-') ||
      c == QLatin1Char('_') || c == QLatin1Char('/') || c == QLatin1Char('.') ||
      c == QLatin1Char('\''))
    return Script::Latin;
  return Script::Other;
}

// The units a line may not break inside: script runs with their closing
// marks after them and their opening marks before them; a blank ends a unit
// and stays with it.
std::vector<QString> Units(const QString& line) {
  std::vector<QString> units;
  QString current;
  Script script = Script::Other;
  QString pendingOpen;
  for (QChar c : line) {
    if (IsOpening(c)) {
      if (!current.isEmpty()) units.push_back(current), current.clear();
      pendingOpen += c;
      continue;
    }
    if (!current.isEmpty() && script == Script::Latin && ScriptOf(c) == Script::Latin) {
      current += c;  // "1.23", "RX-140": one word
      continue;
    }
    if (IsClosing(c) && !current.isEmpty()) {
      current += c;
      if (IsPunctuationClosing(c)) script = Script::Other;  // the next character starts a word
      continue;
    }
    if (c.isSpace()) {
      current += c;
      units.push_back(current), current.clear();
      script = Script::Other;
      continue;
    }
    const Script s = ScriptOf(c);
    if (!current.isEmpty() && (s != script || s == Script::Other)) units.push_back(current), current.clear();
    if (current.isEmpty() && !units.empty() && IsClosing(c) && pendingOpen.isEmpty()) {
      units.back() += c;  // a closing mark after a blank still may not start a line
      continue;
    }
    current += pendingOpen + c;
    pendingOpen.clear();
    script = s;
  }
  current += pendingOpen;
  if (!current.isEmpty()) units.push_back(current);
  return units;
}

void BreakLine(const QString& line, const QFontMetrics& fm, int width, QString& out) {
  QString current;
  auto flush = [&] {
    while (current.endsWith(QLatin1Char(' '))) current.chop(1);
    out += current + QLatin1Char('\n');
    current.clear();
  };
  for (QString unit : Units(line)) {
    if (fm.horizontalAdvance(current + unit.trimmed()) <= width || current.isEmpty()) {
      current += unit;
    } else {
      flush();
      current = unit;
    }
    // A unit too wide for any line is cut by characters.
    while (fm.horizontalAdvance(current.trimmed()) > width && current.size() > 1) {
      int n = current.size() - 1;
      while (n > 1 && fm.horizontalAdvance(current.left(n)) > width) --n;
      // Never leave a closing mark at the start of the next line.
      while (n > 1 && IsClosing(current.at(n))) --n;
      const QString rest = current.mid(n);
      current.truncate(n);
      flush();
      current = rest;
    }
  }
  while (current.endsWith(QLatin1Char(' '))) current.chop(1);
  out += current;
}

}  // namespace

void StyleBoxButton(QPushButton* button) {
  button->setMinimumSize(kBoxButtonWidth, kBoxButtonHeight);
  button->setMaximumHeight(kBoxButtonHeight);
}

QString BreakLines(const QString& text, const QFontMetrics& metrics, int width) {
  QString out;
  const QStringList lines = text.split(QLatin1Char('\n'));
  for (qsizetype i = 0; i < lines.size(); ++i) {
    if (i > 0) out += QLatin1Char('\n');
    BreakLine(lines[i], metrics, width, out);
  }
  return out;
}

int TitleWidth(const QDialog* box) {
  return QFontMetrics(box->font()).horizontalAdvance(box->windowTitle()) + kTitleBarExtra;
}

void FitTitle(QDialog* box) {
  // A spacer across the bottom row of the box's grid keeps it from being
  // laid out narrower (a message box resets any minimum width it is given).
  auto* grid = qobject_cast<QGridLayout*>(box->layout());
  const int wanted = TitleWidth(box);
  if (grid) {
    grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
  } else if (box->width() < wanted) {
    box->setMinimumWidth(wanted);
  }
}

}  // namespace quillon
