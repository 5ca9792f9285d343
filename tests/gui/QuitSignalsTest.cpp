// A quit request (what SIGTERM, SIGINT and SIGHUP do) ends the open box or
// dialog as its close box would, and every box shown after it at once, so
// no run waits for an answer that cannot come.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QTimer>

#include "gui/DlgMsgBox.h"
#include "gui/ProgramBoxes.h"
#include "gui/QtBoxAnswerer.h"
#include "gui/QuitSignals.h"

namespace {

class QuitRequest : public ::testing::Test {
 protected:
  QuitRequest() : scoped_(&real_) {
    // A box that stays up fails the test instead of blocking it.
    guard_.setInterval(10000);
    guard_.setSingleShot(true);
    QObject::connect(&guard_, &QTimer::timeout, [this] {
      expired_ = true;
      if (QWidget* w = QApplication::activeModalWidget()) w->hide();
    });
    guard_.start();
  }
  ~QuitRequest() override {
    quillon::ClearQuitRequest();
    EXPECT_FALSE(expired_) << "a box stayed open after the quit request";
  }

  quillon::QtBoxAnswerer real_;
  quillon::ScopedBoxAnswerer scoped_;
  QTimer guard_;
  bool expired_ = false;
};

TEST_F(QuitRequest, OpenQuestionAnswersCancelAndLaterBoxesReturnAtOnce) {
  QTimer::singleShot(200, [] { quillon::RequestQuit(); });
  const int style = quillon::MB_OKCANCEL | quillon::MB_ICONQUESTION;
  EXPECT_EQ(quillon::Boxes().MsgBoxAlways("続けますか", style, 0), quillon::IDCANCEL);
  EXPECT_TRUE(quillon::QuitRequested());
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(quillon::Boxes().MsgBoxAlways("まだ続けますか", style, 0), quillon::IDCANCEL);
  EXPECT_EQ(quillon::Boxes().MsgBoxAlways("お知らせ", quillon::MB_ICONINFORMATION, 0), quillon::IDOK);
  EXPECT_LT(clock.elapsed(), 3000);
}

TEST_F(QuitRequest, ProgramsMessageBoxDialogAnswersCancel) {
  TDlgMsgBox dialog;
  QTimer::singleShot(200, [] { quillon::RequestQuit(); });
  EXPECT_EQ(dialog.ShowDialog("開始します", "初期化する", 1, 32, 0), quillon::IDCANCEL);
  EXPECT_FALSE(dialog.isVisible());
}

}  // namespace
