// Real message boxes (as on a display) driven on the offscreen platform.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "core/app/AppTitles.h"
#include "tests/gui/ModalDriver.h"
#include "gui/HelpViewer.h"
#include "gui/ProgramBoxes.h"
#include "gui/QtBoxAnswerer.h"

using namespace quillon;
using quillon_test::OnModal;

namespace {

QAbstractButton* ButtonWithText(QMessageBox* box, const QString& text) {
  for (QAbstractButton* b : box->buttons())
    if (b->text() == text) return b;
  return nullptr;
}

class QtBoxes : public ::testing::Test {
 protected:
  QtBoxAnswerer widgets;
  ScopedBoxAnswerer scoped{&widgets};
};

}  // namespace

TEST_F(QtBoxes, QuestionWithCancelDefaultShowsAllThreeButtons) {
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int buttons = 0;
  bool cancelIsDefault = false;
  auto wait = OnModal<QMessageBox>([&](QMessageBox* box) {
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    buttons = static_cast<int>(box->buttons().size());
    QAbstractButton* cancel = ButtonWithText(box, QStringLiteral("ｷｬﾝｾﾙ"));
    ASSERT_NE(cancel, nullptr);
    ASSERT_NE(ButtonWithText(box, QStringLiteral("OK")), nullptr);
    ASSERT_NE(ButtonWithText(box, QStringLiteral("ﾍﾙﾌﾟ")), nullptr);
    cancelIsDefault = box->defaultButton() == cancel;
    // Enter presses the default button.
    QTest::keyClick(box, Qt::Key_Return);
  });
  const int result = Boxes().MsgBox("処理を続けますか？", 0x4121, 1011, 1);
  ASSERT_TRUE(wait->ran);
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(title, QString::fromUtf8(kApplicationTitle));
  EXPECT_EQ(text, QStringLiteral("処理を続けますか？"));
  EXPECT_EQ(icon, QMessageBox::Question);
  EXPECT_EQ(buttons, 3);
  EXPECT_TRUE(cancelIsDefault);
}

TEST_F(QtBoxes, OkAndCancelAnswerOneAndTwo) {
  auto ok = OnModal<QMessageBox>([](QMessageBox* box) {
    ButtonWithText(box, QStringLiteral("OK"))->click();
  });
  EXPECT_EQ(Boxes().MsgBoxAlways("a", 0x4041, 1020), IDOK);
  EXPECT_TRUE(ok->ran);
  auto cancel = OnModal<QMessageBox>([](QMessageBox* box) {
    ButtonWithText(box, QStringLiteral("ｷｬﾝｾﾙ"))->click();
  });
  EXPECT_EQ(Boxes().MsgBoxAlways("b", 0x4041, 1020), IDCANCEL);
  EXPECT_TRUE(cancel->ran);
}

TEST_F(QtBoxes, EscapeOnAnOkOnlyBoxAnswersOk) {
  int buttons = 0;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  auto wait = OnModal<QMessageBox>([&](QMessageBox* box) {
    buttons = static_cast<int>(box->buttons().size());
    icon = box->icon();
    QTest::keyClick(box, Qt::Key_Escape);
  });
  EXPECT_EQ(Boxes().MsgBoxAlways("ﾌｧｲﾙが見つかりません。", 0x30, 0), IDOK);
  EXPECT_TRUE(wait->ran);
  EXPECT_EQ(buttons, 1);
  EXPECT_EQ(icon, QMessageBox::Warning);
}

TEST_F(QtBoxes, HelpOpensTheTopicAndLeavesTheBoxOpen) {
  bool stillOpen = false;
  int topic = -1;
  auto wait = OnModal<QMessageBox>([&](QMessageBox* box) {
    ButtonWithText(box, QStringLiteral("ﾍﾙﾌﾟ"))->click();
    QApplication::processEvents();
    stillOpen = box->isVisible();
    topic = HelpViewer()->CurrentContext();
    const bool helpShown = HelpViewer()->isVisible();
    HelpViewer()->close();
    EXPECT_TRUE(helpShown);
    ButtonWithText(box, QStringLiteral("OK"))->click();
  });
  EXPECT_EQ(Boxes().MsgBoxAlways("ﾀﾞｳﾝﾛｰﾄﾞが中断されました。", 0x4010, 2008), IDOK);
  EXPECT_TRUE(wait->ran);
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(topic, 2008);
}
