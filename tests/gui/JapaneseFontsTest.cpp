// The forms' Japanese face names resolve to an installed Japanese gothic.
#include <gtest/gtest.h>

#include <QFontInfo>

#include "gui/JapaneseFonts.h"

using namespace quillon;

TEST(JapaneseFonts, FormFacesResolveToNotoCjk) {
  ASSERT_TRUE(InstallJapaneseFonts());
  const QFont proportional = FormFont(kFontPGothic, 12);
  EXPECT_EQ(proportional.pixelSize(), 12);
  EXPECT_EQ(QFontInfo(proportional).family(), QStringLiteral("Noto Sans CJK JP"));
  EXPECT_EQ(QFontInfo(FormFont(kFontVerticalPGothic, 12)).family(), QStringLiteral("Noto Sans CJK JP"));
  EXPECT_EQ(QFontInfo(FormFont(kFontGothic, 12)).family(), QStringLiteral("Noto Sans Mono CJK JP"));
}
