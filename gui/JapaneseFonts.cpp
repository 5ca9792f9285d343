#include "gui/JapaneseFonts.h"

#include <QFontDatabase>
#include <QLabel>
#include <QStringList>

#include <algorithm>

namespace quillon {

namespace {

bool AnyInstalled(const QStringList& families) {
  const QStringList installed = QFontDatabase::families();
  for (const QString& f : families)
    if (installed.contains(f, Qt::CaseInsensitive)) return true;
  return false;
}

}  // namespace

bool InstallJapaneseFonts() {
  const QStringList proportional = {
      QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP"),
      QStringLiteral("IPAPGothic"), QStringLiteral("VL PGothic"),
      QStringLiteral("TakaoPGothic")};
  const QStringList fixed = {
      QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("Noto Sans CJK JP"),
      QStringLiteral("IPAGothic"), QStringLiteral("VL Gothic"), QStringLiteral("TakaoGothic")};
  QFont::insertSubstitutions(QString::fromUtf8(kFontPGothic), proportional);
  QFont::insertSubstitutions(QString::fromUtf8(kFontVerticalPGothic), proportional);
  QFont::insertSubstitutions(QString::fromUtf8(kFontGothic), fixed);
  return AnyInstalled(proportional) && AnyInstalled(fixed);
}

QFont FormFont(const char* family, int pixelSize) {
  QFont font(QString::fromUtf8(family));
  font.setPixelSize(pixelSize);
  return font;
}

void FitLabel(QLabel* label) {
  const QSize need = label->sizeHint();
  label->resize(std::max(label->width(), need.width()), std::max(label->height(), need.height()));
}

}  // namespace quillon
