// A console query on the window's thread while the printer keeps its
// answer: the main window's close box ends the query at once and closes the
// program as a quit does; a dialog's close box is only that dialog's answer,
// and the printer watch does not refresh from inside the query.
#include <gtest/gtest.h>

#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

#include <memory>
#include <string>

#include "core/app/QuillonApp.h"
#include "gui/ConsoleWait.h"
#include "gui/QuitSignals.h"
#include "gui/TfrmMain.h"
#include "tests/gui/UiTestSupport.h"
#include "tests/support/PrinterSimulator.h"

using quillon_test::PrinterSimulator;

namespace {

class ConsoleWait : public ::testing::Test {
 protected:
  void SetUp() override {
    app_ = std::make_unique<TQUILLONApp>(ui_test::FreshSettings());
    // As the program wires it.
    app_->ConsoleAborted = &quillon::ConsoleWaitAborted;
    form_ = std::make_unique<TfrmMain>();
    form_->show();
  }
  void TearDown() override {
    form_.reset();
    app_.reset();
    quillon::ClearQuitRequest();
  }

  void SelectFtpPrinter(const PrinterSimulator& sim) {
    form_->pnlSelected->setText(QString::fromStdString("ftp://" + sim.Address() + "/vesta0"));
  }

  std::unique_ptr<TQUILLONApp> app_;
  std::unique_ptr<TfrmMain> form_;
};

}  // namespace

TEST_F(ConsoleWait, TheWindowsCloseBoxDuringAHeldQueryEndsItAtOnceAndQuits) {
  PrinterSimulator sim({"--hold", "CONSOLE"});
  ASSERT_TRUE(sim.Ready());
  SelectFtpPrinter(sim);
  bool timerInWait = false;
  // Runs only when the query takes the window's events: a query that
  // blocks them would let it run after the query's bounds.
  QTimer::singleShot(400, form_.get(), [&] {
    timerInWait = quillon::InConsoleWait();
    form_->close();
  });
  QElapsedTimer clock;
  clock.start();
  form_->OnUpdate();
  const qint64 took = clock.elapsed();
  EXPECT_TRUE(timerInWait);
  EXPECT_LT(took, 2000) << "the close box waited for the query";
  EXPECT_TRUE(quillon::QuitRequested());
  EXPECT_FALSE(form_->isVisible());
  EXPECT_TRUE(app_->FtpModel.empty()) << "a cut query gives no model";

  // Later queries of the closing program are cut at their first check.
  clock.restart();
  EXPECT_EQ(app_->GetModelName("ftp://" + sim.Address() + "/vesta0"), "");
  EXPECT_LT(clock.elapsed(), 1000);
}

TEST_F(ConsoleWait, ADialogsCloseBoxIsThatDialogsOwnAndTheQueryGoesOnToItsAnswer) {
  PrinterSimulator sim({"--hold", "CONSOLE"});
  ASSERT_TRUE(sim.Ready());
  SelectFtpPrinter(sim);
  QDialog dialog(form_.get());
  dialog.show();
  bool refreshed = true;
  QTimer::singleShot(400, form_.get(), [&] {
    dialog.close();
    // The printer watch's refresh would start a query of its own under this one.
    refreshed = form_->CheckPrinterSet();
    sim.Release();
  });
  form_->OnUpdate();
  EXPECT_FALSE(refreshed);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_FALSE(quillon::QuitRequested());
  EXPECT_TRUE(form_->isVisible());
  EXPECT_FALSE(app_->FtpModel.empty()) << "the released console's answer was kept";
}
