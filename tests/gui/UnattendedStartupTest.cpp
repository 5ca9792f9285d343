// The window's unattended run (/NO) in this process: it waits for the end
// of the window's start-up, a model question included, runs once from the
// main loop and never under the question; a declined question or a quit
// request during it ends the run without sending.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <string>

#include "core/app/QuillonApp.h"
#include "core/command/ExitCodes.h"
#include "gui/ModelAsk.h"
#include "gui/PrnModelDlg.h"
#include "gui/ProgramBoxes.h"
#include "gui/QuitSignals.h"
#include "gui/TfrmMain.h"
#include "tests/gui/UiTestSupport.h"
#include "tests/support/ScriptedBoxAnswerer.h"

namespace {

class UnattendedStartup : public ::testing::Test {
 protected:
  UnattendedStartup()
      : package_(ui_test::MakePackage("START.RXF", "HALVORN KV3")),
        app_(ui_test::FreshSettings(), {package_, "/PR=qs_no_such_queue", "/NM", "/NO"}),
        scoped_(&script_),
        dialog_(std::vector<std::string>{"RX-110", "KV2-A", "KV3"}) {
    quillon::InstallModelQuestion(app_, dialog_);
  }
  void TearDown() override { quillon::ClearQuitRequest(); }

  // Shows the window (its start-up asks for the model) with the question
  // answered by answer once it has been up for a while, and waits until
  // the window has closed.
  void StartUp(std::function<void()> answer) {
    ASSERT_EQ(app_.AutoRun, 0);
    form_.Download.RunTransfer = [this] {
      ++transfers_;
      form_.Download.LastResult.code = 0;
    };
    QObject::connect(&form_, &TfrmMain::Closed, [this] { closed_ = true; });
    auto* timer = new QTimer(&dialog_);
    QObject::connect(timer, &QTimer::timeout, [this, timer, answer] {
      if (!dialog_.isVisible() || ++ticks_ < 30) return;  // ~300 ms under the dialog
      timer->stop();
      timer->deleteLater();
      windowShownUnderTheQuestion_ = form_.isVisible();
      transfersUnderTheQuestion_ = transfers_;
      answer();
    });
    timer->start(10);
    form_.show();
    ASSERT_TRUE(QTest::qWaitFor([this] { return closed_; }, 10000));
    // Whatever the end posted has had its turn.
    QTest::qWait(200);
  }

  std::string package_;
  TQUILLONApp app_;
  quillon::ScriptedBoxAnswerer script_;
  quillon::ScopedBoxAnswerer scoped_;
  TdlgPrnModel dialog_;
  TfrmMain form_;
  int transfers_ = 0;
  int ticks_ = 0;
  bool closed_ = false;
  bool windowShownUnderTheQuestion_ = false;
  int transfersUnderTheQuestion_ = -1;
};

TEST_F(UnattendedStartup, RunWaitsForTheModelQuestionAndRunsOnceAfterIt) {
  StartUp([this] {
    dialog_.cmbModel->setCurrentIndex(2);
    dialog_.btnOk->click();
  });
  EXPECT_TRUE(windowShownUnderTheQuestion_);
  EXPECT_EQ(transfersUnderTheQuestion_, 0);
  EXPECT_EQ(std::string(app_.SelectedEntry.Driver), "KV3");
  EXPECT_EQ(transfers_, 1);
  EXPECT_EQ(form_.UnattendedExit(), 0);
  // Run again by hand, it does nothing: the run is once.
  form_.OnAutoRun();
  EXPECT_EQ(transfers_, 1);
}

TEST_F(UnattendedStartup, DeclinedModelQuestionEndsTheRunAsDeclinedWithoutSending) {
  testing::internal::CaptureStderr();
  StartUp([this] { dialog_.close(); });  // the close box
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(transfersUnderTheQuestion_, 0);
  EXPECT_EQ(transfers_, 0);
  EXPECT_EQ(form_.UnattendedExit(), quillon::kExitDeclined);
  EXPECT_NE(err.find("qs_no_such_queue"), std::string::npos) << err;
}

TEST_F(UnattendedStartup, QuitRequestDuringTheModelQuestionEndsAsInterruptedWithoutSending) {
  StartUp([] { quillon::RequestQuit(); });
  EXPECT_FALSE(dialog_.isVisible());
  EXPECT_EQ(dialog_.result(), quillon::IDCANCEL);
  EXPECT_EQ(transfersUnderTheQuestion_, 0);
  EXPECT_EQ(transfers_, 0);
  EXPECT_EQ(form_.UnattendedExit(), quillon::kExitAborted);
}

}  // namespace
