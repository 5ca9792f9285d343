// The FTP address dialog against the printer simulator: the model and
// version recorded, the model dialog for an unknown console, result 3 for
// an address that does not answer, and Cancel without any traffic.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <string>

#include "core/app/QuillonApp.h"
#include "gui/PrnModelDlg.h"
#include "tests/support/TestEnv.h"
#include "tests/support/PrinterSimulator.h"
#include "tests/gui/ModalDriver.h"
#include "gui/FtpConnect.h"
#include "gui/ProgramBoxes.h"
#include "gui/QuitSignals.h"
#include "tests/support/ScriptedBoxAnswerer.h"

using quillon::PrinterTarget;

using quillon_test::OnModal;
using quillon_test::PrinterSimulator;

namespace {

class FtpConnectTest : public ::testing::Test {
 protected:
  FtpConnectTest() : app(quillon_test::MakeTestDir("ftpconnect") + "/QUILLON.INI") {}

  // Types the address, presses OK and returns the dialog's result.
  int Submit(TFtpConnect& dlg, const std::string& address) {
    auto wait = OnModal<TFtpConnect>([address](TFtpConnect* d) {
      d->editFtpAddr->setText(QString::fromStdString(address));
      d->btnOk->click();
    }, 30000);
    const int result = dlg.exec();
    EXPECT_TRUE(wait->ran);
    return result;
  }

  TQUILLONApp app;
  TdlgPrnModel models{std::vector<std::string>{"RX-120", "RX-140", "RX-300"}};
};

}  // namespace

TEST_F(FtpConnectTest, FormAndCancelWithoutAnyTraffic) {
  PrinterSimulator sim;
  ASSERT_TRUE(sim.Ready());
  TFtpConnect dlg(nullptr, &models);
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("FTP接続ﾌﾟﾘﾝﾀの指定"));
  // The designed size, wider only where a caption needs it.
  EXPECT_GE(dlg.width(), 308);
  EXPECT_EQ(dlg.height(), 118);
  EXPECT_LT(dlg.Label1->x() + dlg.Label1->sizeHint().width(), dlg.editFtpAddr->x());
  EXPECT_LE(dlg.Button2->x() + dlg.Button2->width(), dlg.width());
  EXPECT_EQ(dlg.editFtpDir->text(), QStringLiteral("vesta0"));
  EXPECT_TRUE(dlg.editFtpAddr->text().isEmpty());
  EXPECT_EQ(dlg.Label1->buddy(), dlg.editFtpAddr);
  EXPECT_EQ(dlg.Label2->buddy(), dlg.editFtpDir);
  EXPECT_TRUE(dlg.btnOk->isDefault());
  EXPECT_EQ(FtpConnect, &dlg);

  auto wait = OnModal<TFtpConnect>([&sim](TFtpConnect* d) {
    d->editFtpAddr->setText(QString::fromStdString(sim.Address()));
    d->Button2->click();
  });
  EXPECT_EQ(dlg.exec(), 2);
  EXPECT_TRUE(wait->ran);
  EXPECT_TRUE(sim.ConsoleSessions(0).empty());
  EXPECT_TRUE(app.FtpModel.empty());
}

TEST_F(FtpConnectTest, ReachablePrinterRecordsModelAndVersionAndTheEditsStay) {
  PrinterSimulator sim({"--model-name", "RX-300", "--version", "3.05"});
  ASSERT_TRUE(sim.Ready());
  TFtpConnect dlg(nullptr, &models);
  dlg.editFtpDir->setText(QStringLiteral("upload"));
  EXPECT_EQ(Submit(dlg, sim.Address()), 1);
  EXPECT_EQ(app.FtpModel, "RX-300");
  EXPECT_EQ(app.FtpVersion, "3.05");
  EXPECT_EQ(sim.ConsoleSessions(1).size(), 1u);

  // The next showing offers what was typed.
  std::string shownAddr, shownDir;
  auto wait = OnModal<TFtpConnect>([&](TFtpConnect* d) {
    shownAddr = d->editFtpAddr->text().toStdString();
    shownDir = d->editFtpDir->text().toStdString();
    d->reject();
  });
  EXPECT_EQ(dlg.exec(), 2);
  EXPECT_EQ(shownAddr, sim.Address());
  EXPECT_EQ(shownDir, "upload");
}

TEST_F(FtpConnectTest, UnknownConsoleAsksForTheModel) {
  PrinterSimulator sim({"--console-fault", "unknown-prompt"});
  ASSERT_TRUE(sim.Ready());
  TFtpConnect dlg(nullptr, &models);

  // Chosen: both dialogs close with OK, the model without a version.
  app.FtpVersion = "stale";
  auto choose = OnModal<TdlgPrnModel>([](TdlgPrnModel* d) {
    d->cmbModel->setCurrentIndex(2);
    d->btnOk->click();
  }, 30000);
  EXPECT_EQ(Submit(dlg, sim.Address()), 1);
  EXPECT_TRUE(choose->ran);
  EXPECT_EQ(app.FtpModel, "RX-300");
  EXPECT_EQ(app.FtpVersion, "");

  // Cancelled: this dialog closes with the model dialog's cancel result
  // and nothing is recorded.
  app.FtpModel = "before";
  auto cancel = OnModal<TdlgPrnModel>([](TdlgPrnModel* d) { d->btnCancel->click(); }, 30000);
  EXPECT_EQ(Submit(dlg, sim.Address()), 2);
  EXPECT_TRUE(cancel->ran);
  EXPECT_EQ(app.FtpModel, "before");
}

TEST_F(FtpConnectTest, AddressThatDoesNotAnswerGivesThree) {
  PrinterSimulator sim;
  ASSERT_TRUE(sim.Ready());
  TFtpConnect dlg(nullptr, &models);
  app.FtpModel = "before";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Submit(dlg, sim.OtherAddress()), TFtpConnect::kUnreachable);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(25));
  EXPECT_EQ(app.FtpModel, "before");
  EXPECT_EQ(Submit(dlg, ""), TFtpConnect::kUnreachable);
}

TEST_F(FtpConnectTest, MalformedAddressIsToldAndTheDialogStaysWithoutAskingAConsole) {
  PrinterSimulator sim({"--model-name", "RX-300"});
  ASSERT_TRUE(sim.Ready());
  quillon::ScriptedBoxAnswerer script;
  quillon::ScopedBoxAnswerer scoped(&script);
  TFtpConnect dlg(nullptr, &models);
  // A folder with a "/" could name another host or folder.
  dlg.editFtpAddr->setText(QString::fromStdString(sim.Address()));
  dlg.editFtpDir->setText(QStringLiteral("vesta0/sub"));
  PrinterTarget target;
  EXPECT_TRUE(dlg.Target(&target).Failed());
  auto wait = OnModal<TFtpConnect>([](TFtpConnect* d) {
    d->btnOk->click();
    // Still open after OK: the operator mends the folder.
    EXPECT_TRUE(d->isVisible());
    d->Button2->click();
  }, 30000);
  EXPECT_EQ(dlg.exec(), 2);
  EXPECT_TRUE(wait->ran);
  ASSERT_EQ(script.Questions().size(), 1u);
  EXPECT_NE(script.Questions()[0].text.find("vesta0/sub"), std::string::npos) << script.Questions()[0].text;
  EXPECT_TRUE(sim.ConsoleSessions(0).empty());
  EXPECT_TRUE(app.FtpModel.empty());

  // A good address is parsed into its one spelling; an empty folder edit
  // names the usual folder.
  dlg.editFtpAddr->setText(QStringLiteral("Printer-A:21"));
  dlg.editFtpDir->clear();
  ASSERT_FALSE(dlg.Target(&target).Failed());
  EXPECT_EQ(target.Canonical(), "ftp://printer-a/vesta0");
}

// The console query waits on the dialog's own thread: a cancel, the close
// box or the program's quit must end it at once, not at the query's bounds.
TEST_F(FtpConnectTest, SilentConsoleQueryEndsWithinASecondOfCancelCloseOrQuit) {
  PrinterSimulator sim({"--console-fault", "silence"});
  ASSERT_TRUE(sim.Ready());
  TFtpConnect dlg(nullptr, &models);
  app.FtpModel = "before";
  enum How { kCancel, kCloseBox, kQuit };
  for (How how : {kCancel, kCloseBox, kQuit}) {
    SCOPED_TRACE(static_cast<int>(how));
    using Clock = std::chrono::steady_clock;
    Clock::time_point asked{};
    bool okDisabled = false;
    auto wait = OnModal<TFtpConnect>([&](TFtpConnect* d) {
      d->editFtpAddr->setText(QString::fromStdString(sim.Address()));
      QTimer::singleShot(600, d, [&, d] {
        okDisabled = !d->btnOk->isEnabled();
        asked = Clock::now();
        if (how == kCancel) d->Button2->click();
        if (how == kCloseBox) d->close();
        if (how == kQuit) quillon::RequestQuit();
      });
      d->btnOk->click();
    }, 30000);
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(dlg.exec(), 2);
    const Clock::time_point end = Clock::now();
    quillon::ClearQuitRequest();
    ASSERT_TRUE(wait->ran);
    ASSERT_NE(asked, Clock::time_point{}) << "the query ended before the cancel";
    EXPECT_TRUE(okDisabled) << "OK must not start a second query";
    EXPECT_LT(end - asked, std::chrono::seconds(1));
    EXPECT_LT(end - start, std::chrono::seconds(3));
    EXPECT_TRUE(dlg.btnOk->isEnabled());
    EXPECT_EQ(app.FtpModel, "before");
  }
  // The console was really asked each time.
  EXPECT_EQ(sim.ConsoleSessions(3).size(), 3u);
}
