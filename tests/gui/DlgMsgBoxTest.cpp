// The program's own message box: icon kinds, layout at show, the hidden
// details button and the initialisation items it leads to.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <sstream>

#include "gui/EEPDlg.h"
#include "core/app/AppTitles.h"
#include "tests/gui/ModalDriver.h"
#include "gui/DlgMsgBox.h"
#include "gui/HelpViewer.h"
#include "gui/QtBoxAnswerer.h"
#include "tests/support/ScriptedBoxAnswerer.h"

using namespace quillon;
using quillon_test::OnModal;

namespace {

const std::string kText = "ﾊﾞｰｼﾞｮﾝｱｯﾌﾟを開始します。";
const std::string kCheck = "ﾌﾟﾘﾝﾀの設定ﾒﾓﾘを初期化する";

class MsgBoxDialog : public ::testing::Test {
 protected:
  TEEPDlg items;
  TDlgMsgBox dlg{nullptr, &items};
};

// Shows the dialog with a scripted answer: every step of the show runs
// except the modal loop.
int ShowScripted(TDlgMsgBox& dlg, const std::string& text, int kind, int checked = 1) {
  ScriptedBoxAnswerer script;
  ScopedBoxAnswerer scoped(&script);
  return dlg.ShowDialog(text, kCheck, checked, kind, 1031);
}

}  // namespace

TEST(DlgMsgBoxIcons, KindsMapToSystemIcons) {
  EXPECT_EQ(TDlgMsgBox::IconForKind(16), 32513);
  EXPECT_EQ(TDlgMsgBox::IconForKind(32), 32514);
  EXPECT_EQ(TDlgMsgBox::IconForKind(48), 32515);
  EXPECT_EQ(TDlgMsgBox::IconForKind(64), 32516);
  for (int other : {0, 1, 15, 17, 33, 0x40 | 0x10, 128, -16}) EXPECT_EQ(TDlgMsgBox::IconForKind(other), 0) << other;
}

TEST_F(MsgBoxDialog, CreatedAsDesigned) {
  EXPECT_EQ(dlg.size(), QSize(395, 143));
  EXPECT_EQ(dlg.HelpContext, 0);
  EXPECT_EQ(dlg.InitItems, 1);
  EXPECT_TRUE(dlg.CheckBox1->isChecked());
  EXPECT_TRUE(dlg.Button1->isHidden());
  EXPECT_EQ(dlg.Button1->text(), QStringLiteral("詳細..."));
  EXPECT_EQ(dlg.ButtonCancel->text(), QStringLiteral("ｷｬﾝｾﾙ"));
  EXPECT_EQ(dlg.ButtonHelp->text(), QStringLiteral("ﾍﾙﾌﾟ"));
  EXPECT_TRUE(dlg.ButtonOk->isDefault());
}

TEST_F(MsgBoxDialog, ShowSetsTextsIconAndHelpContext) {
  EXPECT_EQ(ShowScripted(dlg, kText, 32, 0), IDOK);
  EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8(kApplicationTitle));
  EXPECT_EQ(dlg.Label1->text(), QString::fromStdString(kText));
  EXPECT_FALSE(dlg.Label1->wordWrap());
  EXPECT_EQ(dlg.CheckBox1->text(), QString::fromStdString(kCheck));
  EXPECT_FALSE(dlg.CheckBox1->isChecked());
  EXPECT_EQ(dlg.HelpContext, 1031);
  EXPECT_EQ(dlg.ShownIcon(), 32514);
  EXPECT_FALSE(dlg.Image1->pixmap().isNull());
  EXPECT_EQ(dlg.Image1->size(), QSize(32, 32));
  // The next show replaces the icon; kind 0 shows none.
  ShowScripted(dlg, kText, 0);
  EXPECT_EQ(dlg.ShownIcon(), 0);
  EXPECT_TRUE(dlg.Image1->pixmap().isNull());
  EXPECT_TRUE(dlg.CheckBox1->isChecked());
}

TEST_F(MsgBoxDialog, ThreeLineTextGrowsTheLabelAndButtonsSitFortyAboveTheBottom) {
  ShowScripted(dlg, "一行目\n二行目はもう少し長い行です\n三行目", 48);
  const int line = dlg.Label1->fontMetrics().lineSpacing();
  EXPECT_GE(dlg.Label1->height(), 3 * line - 2);
  EXPECT_LT(dlg.Label1->height(), 4 * line);
  EXPECT_GT(dlg.Label1->width(), 44);  // grew to the longest line
  EXPECT_EQ(dlg.ButtonOk->y(), 103);
  EXPECT_EQ(dlg.ButtonCancel->y(), 103);
  EXPECT_EQ(dlg.ButtonHelp->y(), 103);
  EXPECT_EQ(dlg.height() - dlg.ButtonOk->y(), 40);
  // Left positions stay as designed.
  EXPECT_EQ(dlg.ButtonOk->x(), 60);
  EXPECT_EQ(dlg.ButtonCancel->x(), 148);
  EXPECT_EQ(dlg.ButtonHelp->x(), 238);
}

TEST_F(MsgBoxDialog, OnlyCtrlClickOnTheIconRevealsTheDetailsButton) {
  ShowScripted(dlg, kText, 32);
  const QPoint inside(5, 5);
  for (Qt::KeyboardModifiers mods :
       {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier),
        Qt::KeyboardModifiers(Qt::AltModifier), Qt::ShiftModifier | Qt::AltModifier}) {
    QTest::mouseClick(dlg.Image1, Qt::LeftButton, mods, inside);
    EXPECT_TRUE(dlg.Button1->isHidden()) << int(mods);
  }
  // A Ctrl click elsewhere in the dialog does nothing.
  QTest::mouseClick(dlg.Label1, Qt::LeftButton, Qt::ControlModifier, QPoint(2, 2));
  EXPECT_TRUE(dlg.Button1->isHidden());
  // The enabled state is the caller's.
  dlg.Button1->setEnabled(false);
  QTest::mouseClick(dlg.Image1, Qt::LeftButton, Qt::ControlModifier, inside);
  EXPECT_FALSE(dlg.Button1->isHidden());
  EXPECT_FALSE(dlg.Button1->isEnabled());

  dlg.Button1->hide();
  QTest::mouseClick(dlg.Image1, Qt::RightButton, Qt::ControlModifier | Qt::ShiftModifier, inside);
  EXPECT_FALSE(dlg.Button1->isHidden());
}

TEST_F(MsgBoxDialog, ModalResultsOkCancelEscapeAndHelpStaysOpen) {
  QtBoxAnswerer widgets;
  ScopedBoxAnswerer scoped(&widgets);

  auto ok = OnModal<TDlgMsgBox>([](TDlgMsgBox* d) { QTest::keyClick(d, Qt::Key_Return); });
  EXPECT_EQ(dlg.ShowDialog(kText, kCheck, 1, 32, 1031), IDOK);
  EXPECT_TRUE(ok->ran);

  auto cancel = OnModal<TDlgMsgBox>([](TDlgMsgBox* d) { d->ButtonCancel->click(); });
  EXPECT_EQ(dlg.ShowDialog(kText, kCheck, 1, 32, 1031), IDCANCEL);
  EXPECT_TRUE(cancel->ran);

  auto escape = OnModal<TDlgMsgBox>([](TDlgMsgBox* d) { QTest::keyClick(d, Qt::Key_Escape); });
  EXPECT_EQ(dlg.ShowDialog(kText, kCheck, 1, 32, 1031), IDCANCEL);
  EXPECT_TRUE(escape->ran);

  bool stillOpen = false;
  int topic = -1;
  auto help = OnModal<TDlgMsgBox>([&](TDlgMsgBox* d) {
    d->ButtonHelp->click();
    QApplication::processEvents();
    stillOpen = d->isVisible();
    topic = HelpViewer()->CurrentContext();
    HelpViewer()->close();
    d->ButtonOk->click();
  });
  EXPECT_EQ(dlg.ShowDialog(kText, kCheck, 1, 32, 1032), IDOK);
  EXPECT_TRUE(help->ran);
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(topic, 1032);
}

TEST_F(MsgBoxDialog, DetailsDialogChoosesTheItems) {
  QtBoxAnswerer widgets;
  ScopedBoxAnswerer scoped(&widgets);

  struct Case {
    bool b1, b2, b3;
    bool ok;
    int expected;
  };
  const Case cases[] = {
      {false, true, false, true, 2}, {true, true, true, true, 7}, {false, false, false, true, 0},
      {true, false, true, true, 5},  {false, true, true, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    dlg.Button1->hide();
    dlg.InitItems = 6;  // whatever came before
    auto outer = OnModal<TDlgMsgBox>([&](TDlgMsgBox* d) {
      QTest::mouseClick(d->Image1, Qt::LeftButton, Qt::ControlModifier, QPoint(4, 4));
      EXPECT_TRUE(d->Button1->isVisible());
      auto inner = OnModal<TEEPDlg>([&](TEEPDlg* e) {
        e->CheckBox1->setChecked(c.b1);
        e->CheckBox2->setChecked(c.b2);
        e->CheckBox3->setChecked(c.b3);
        (c.ok ? e->OKBtn : e->CancelBtn)->click();
      });
      QTest::mouseClick(d->Button1, Qt::LeftButton);
      EXPECT_TRUE(inner->ran);
      d->ButtonOk->click();
    });
    EXPECT_EQ(dlg.ShowDialog(kText, kCheck, 1, 32, 1031), IDOK);
    EXPECT_TRUE(outer->ran);
    EXPECT_EQ(dlg.InitItems, c.expected);
    // The details dialog keeps its boxes for the next showing.
    EXPECT_EQ(items.CheckBox2->isChecked(), c.b2);
  }
  // The items survive a show that does not use the details button.
  dlg.InitItems = 4;
  auto plain = OnModal<TDlgMsgBox>([](TDlgMsgBox* d) { d->ButtonOk->click(); });
  dlg.ShowDialog(kText, kCheck, 1, 32, 1031);
  EXPECT_EQ(dlg.InitItems, 4);
}

TEST_F(MsgBoxDialog, DetailsWithoutItemsDialogFallsBackToPrinterMenu) {
  TDlgMsgBox lone(nullptr, nullptr);
  TEEPDlg* program = EEPDlg;
  EEPDlg = nullptr;
  lone.InitItems = 3;
  lone.Button1Click();
  EEPDlg = program;
  EXPECT_EQ(lone.InitItems, 1);
}

TEST_F(MsgBoxDialog, HeadlessShowWritesTextAndAnswersOk) {
  ASSERT_TRUE(IsHeadlessPlatform());
  std::ostringstream captured;
  std::streambuf* old = std::cerr.rdbuf(captured.rdbuf());
  const int result = dlg.ShowDialog(kText, kCheck, 0, 32, 1031);
  std::cerr.rdbuf(old);
  EXPECT_EQ(result, IDOK);
  EXPECT_NE(captured.str().find(kText), std::string::npos);
  EXPECT_FALSE(dlg.CheckBox1->isChecked());
  EXPECT_EQ(dlg.InitItems, 1);
}

TEST_F(MsgBoxDialog, ScriptedAnswerCanSetTheBoxAndItems) {
  ScriptedBoxAnswerer script;
  ScopedBoxAnswerer scoped(&script);
  BoxAnswer answer;
  answer.button = IDOK;
  answer.checked = 0;
  answer.initItems = 6;
  script.Push(answer);
  EXPECT_EQ(dlg.ShowDialog(kText, kCheck, 1, 32, 1031), IDOK);
  EXPECT_FALSE(dlg.CheckBox1->isChecked());
  EXPECT_EQ(dlg.InitItems, 6);
  ASSERT_EQ(script.Questions().size(), 1u);
  const auto& q = script.Questions()[0];
  EXPECT_EQ(q.kind, BoxQuestion::Kind::Dialog);
  EXPECT_EQ(q.text, kText);
  EXPECT_EQ(q.checkCaption, kCheck);
  EXPECT_TRUE(q.checked);
  EXPECT_EQ(q.style, 32);
  EXPECT_EQ(q.helpContext, 1031);
}
