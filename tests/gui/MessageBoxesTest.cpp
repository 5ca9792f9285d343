// Style flags to box layout, silencing, and the answering seam.
#include <gtest/gtest.h>

#include <sstream>

#include "gui/ProgramBoxes.h"
#include "gui/QtBoxAnswerer.h"
#include "tests/support/ScriptedBoxAnswerer.h"

using namespace quillon;

namespace {

struct StyleCase {
  int style;
  BoxIcon icon;
  bool cancel;
  bool help;
  int defaultButton;
};

}  // namespace

TEST(BoxStyle, EveryStyleTheWindowUsesMapsToIconButtonsAndDefault) {
  const StyleCase cases[] = {
      {0x10, BoxIcon::Stop, false, false, IDOK},
      {0x30, BoxIcon::Exclamation, false, false, IDOK},
      {0x40, BoxIcon::Information, false, false, IDOK},
      {0x4010, BoxIcon::Stop, false, true, IDOK},
      {0x4040, BoxIcon::Information, false, true, IDOK},
      {0x4041, BoxIcon::Information, true, true, IDOK},
      {0x4121, BoxIcon::Question, true, true, IDCANCEL},
      {0x0, BoxIcon::None, false, false, IDOK},
      {0x20, BoxIcon::Question, false, false, IDOK},
  };
  for (const StyleCase& c : cases) {
    SCOPED_TRACE(c.style);
    const BoxLayout layout = LayoutForStyle(c.style);
    EXPECT_EQ(layout.icon, c.icon);
    EXPECT_EQ(layout.cancelButton, c.cancel);
    EXPECT_EQ(layout.helpButton, c.help);
    EXPECT_EQ(layout.defaultButton, c.defaultButton);
    EXPECT_EQ(layout.escapeButton, c.cancel ? IDCANCEL : IDOK);
  }
}

TEST(BoxStyle, SecondDefaultWithoutCancelStaysOnOk) {
  // A box with OK alone has no second answer to default to.
  EXPECT_EQ(LayoutForStyle(MB_DEFBUTTON2 | MB_ICONSTOP).defaultButton, IDOK);
  EXPECT_EQ(LayoutForStyle(MB_DEFBUTTON2 | MB_HELP).defaultButton, IDOK);
  // Button sets the window never asks for fall back to OK alone.
  EXPECT_FALSE(LayoutForStyle(0x4).cancelButton);
}

TEST(BoxSeam, SilencedMsgBoxAnswersOkWithoutAsking) {
  ScriptedBoxAnswerer script;
  script.Push(IDCANCEL);
  MessageBoxes boxes(&script);
  EXPECT_EQ(boxes.MsgBox("question", 0x4121, 1011, 0), IDOK);
  EXPECT_TRUE(script.Questions().empty());
  EXPECT_EQ(script.Pending(), 1u);
  // MsgBoxAlways is never silenced.
  EXPECT_EQ(boxes.MsgBoxAlways("input error", 0x40, 0), IDCANCEL);
  ASSERT_EQ(script.Questions().size(), 1u);
  EXPECT_EQ(script.Questions()[0].text, "input error");
}

TEST(BoxSeam, ShownMsgBoxCarriesTitleStyleAndHelpContext) {
  ScriptedBoxAnswerer script;
  script.Push(IDOK);
  script.Push(IDCANCEL);
  MessageBoxes boxes(&script);
  boxes.SetTitle("タイトル");
  EXPECT_EQ(boxes.MsgBox("一つ目", 0x4041, 1020, 1), IDOK);
  EXPECT_EQ(boxes.MsgBox("二つ目", 0x4121, 1012, 1), IDCANCEL);
  // Queue used up: the box's default answers.
  EXPECT_EQ(boxes.MsgBox("三つ目", 0x4121, 1012, 1), IDCANCEL);
  EXPECT_EQ(boxes.MsgBox("四つ目", 0x4040, 1016, 1), IDOK);
  ASSERT_EQ(script.Questions().size(), 4u);
  const auto& q = script.Questions()[1];
  EXPECT_EQ(q.kind, BoxQuestion::Kind::Message);
  EXPECT_EQ(q.caption, "タイトル");
  EXPECT_EQ(q.text, "二つ目");
  EXPECT_EQ(q.style, 0x4121);
  EXPECT_EQ(q.helpContext, 1012);
}

TEST(BoxSeam, TitleDefaultsToTheApplicationTitle) {
  MessageBoxes boxes;
  EXPECT_EQ(boxes.Title(), "HALVORN ﾌﾟﾘﾝﾀ制御ｿﾌﾄｳｪｱ ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ");
}

TEST(BoxSeam, HeadlessAnswererWritesTextAndAnswersDefault) {
  std::ostringstream err;
  HeadlessBoxAnswerer headless(&err);
  MessageBoxes boxes(&headless);
  EXPECT_EQ(boxes.MsgBox("続けますか？", 0x4121, 1011, 1), IDCANCEL);
  EXPECT_EQ(boxes.MsgBoxAlways("ﾌﾟﾘﾝﾀを選択してください。", 0x40, 0), IDOK);
  EXPECT_EQ(boxes.MsgBox("確認", 0x4041, 1015, 1), IDOK);
  BoxQuestion dialog;
  dialog.text = "ﾊﾞｰｼﾞｮﾝｱｯﾌﾟを開始します。";
  dialog.style = 32;
  const BoxAnswer a = boxes.AskDialog(dialog);
  EXPECT_EQ(a.button, IDOK);
  EXPECT_EQ(a.checked, -1);
  EXPECT_EQ(a.initItems, -1);
  EXPECT_EQ(err.str(),
            "続けますか？\nﾌﾟﾘﾝﾀを選択してください。\n確認\nﾊﾞｰｼﾞｮﾝｱｯﾌﾟを開始します。\n");
}

TEST(BoxSeam, ProgramRoutineAnswersAtOnceOnTheOffscreenPlatform) {
  ASSERT_TRUE(IsHeadlessPlatform());
  std::ostringstream captured;
  std::streambuf* old = std::cerr.rdbuf(captured.rdbuf());
  const int cancelDefault = Boxes().MsgBox("既定はｷｬﾝｾﾙ", 0x4121, 1011, 1);
  const int okDefault = Boxes().MsgBoxAlways("既定はOK", 0x4010, 2002);
  std::cerr.rdbuf(old);
  EXPECT_EQ(cancelDefault, IDCANCEL);
  EXPECT_EQ(okDefault, IDOK);
  EXPECT_NE(captured.str().find("既定はｷｬﾝｾﾙ"), std::string::npos);
  EXPECT_NE(captured.str().find("既定はOK"), std::string::npos);
}

TEST(BoxSeam, ScopedAnswererIsUndoneAtScopeEnd) {
  BoxAnswerer* before = Boxes().InstalledAnswerer();
  {
    ScriptedBoxAnswerer script;
    script.Push(IDCANCEL);
    ScopedBoxAnswerer scoped(&script);
    EXPECT_EQ(Boxes().MsgBoxAlways("x", 0x40, 0), IDCANCEL);
    EXPECT_EQ(Boxes().InstalledAnswerer(), &script);
  }
  EXPECT_EQ(Boxes().InstalledAnswerer(), before);
}
