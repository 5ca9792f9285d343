// The program itself, run unattended (/NO) on a real display (a private
// Xvfb), for a printer whose model must be asked: the run waits for the
// model dialog and never runs under it, and a close box or a quit signal
// during any of its dialogs ends the program with its documented code.
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <memory>
#include <string>

#include "core/command/ExitCodes.h"
#include "tests/gui/UiTestSupport.h"
#include "tests/gui/XServer.h"
#include "tests/support/PrinterSimulator.h"
#include "tests/support/TestEnv.h"

namespace {

// The model dialog's title in the program's language (Japanese under the
// suites' locale) or in English.
const std::vector<std::string> kModelDialog = {"プリンタ機種の決定", "Printer Model"};

class UnattendedOnADisplay : public ::testing::Test {
 protected:
  void SetUp() override {
    x_ = std::make_unique<ui_test::XServer>();
    if (!x_->SkipReason().empty()) GTEST_SKIP() << x_->SkipReason();
    ASSERT_TRUE(x_->Ready()) << "Xvfb did not come up";
    package_ = ui_test::MakePackage("DISPLAY.RXF", "HALVORN KV3", "FIRMWARE-ON-A-DISPLAY",
                                    {"DownLoadVersion=4.2"});
  }

  void TearDown() override {
    if (program_ && program_->state() != QProcess::NotRunning) {
      program_->kill();
      program_->waitForFinished(10000);
    }
    program_.reset();
    x_.reset();
  }

  void Start(const QStringList& args) {
    program_ = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", QString::fromStdString(x_->Name()));
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("LANG", "ja_JP.UTF-8");
    program_->setProcessEnvironment(env);
    program_->setStandardOutputFile(QProcess::nullDevice());
    program_->setStandardErrorFile(QString::fromStdString(quillon_test::TestRoot() + "/display-stderr.txt"));
    QStringList all{QString::fromStdString(package_)};
    all += args;
    program_->start(QStringLiteral(QUILLON_PROGRAM), all);
    ASSERT_TRUE(program_->waitForStarted(10000));
  }

  // The exit code once the program has ended within ms; -1: still running,
  // -2: it crashed.
  int EndedWithin(int ms) {
    if (!program_->waitForFinished(ms)) return -1;
    return program_->exitStatus() == QProcess::NormalExit ? program_->exitCode() : -2;
  }

  std::string Err() const {
    return quillon_test::ReadFileBytes(quillon_test::TestRoot() + "/display-stderr.txt");
  }

  void Signal(int sig) { ::kill(static_cast<pid_t>(program_->processId()), sig); }

  std::unique_ptr<ui_test::XServer> x_;
  std::unique_ptr<QProcess> program_;
  std::string package_;
};

// The console answers without a model name: the window must ask for it.
std::vector<std::string> UnnamedModel() { return {"--model-name", ""}; }

TEST_F(UnattendedOnADisplay, RunWaitsForTheModelDialogAndItsCloseBoxEndsTheProgram) {
  quillon_test::PrinterSimulator sim(UnnamedModel());
  ASSERT_TRUE(sim.Ready());
  Start({"/PR=ftp://" + QString::fromStdString(sim.Address()) + "/vesta0", "/NM", "/NO"});
  const ui_test::XServer::Window dialog = x_->WaitForDialog(kModelDialog, 30000);
  ASSERT_NE(dialog.id, 0u) << "no model dialog; stderr: " << Err();
  // Under the unanswered dialog nothing runs: no transfer, no other box.
  QThread::msleep(3000);
  EXPECT_TRUE(sim.Reports(0).empty()) << "the run went on under the model dialog";
  ASSERT_EQ(program_->state(), QProcess::Running) << Err();
  EXPECT_EQ(x_->Dialogs().size(), 1u);
  // The close box declines the question: the run ends, nothing sent.
  ASSERT_TRUE(x_->Close(dialog.id));
  EXPECT_EQ(EndedWithin(10000), quillon::kExitDeclined) << Err();
  EXPECT_TRUE(sim.Reports(0).empty());
  EXPECT_NE(Err().find("was not chosen"), std::string::npos) << Err();
}

TEST_F(UnattendedOnADisplay, SigtermDuringTheModelDialogEndsTheProgramAsInterrupted) {
  quillon_test::PrinterSimulator sim(UnnamedModel());
  ASSERT_TRUE(sim.Ready());
  Start({"/PR=ftp://" + QString::fromStdString(sim.Address()) + "/vesta0", "/NM", "/NO"});
  ASSERT_NE(x_->WaitForDialog(kModelDialog, 30000).id, 0u) << Err();
  QElapsedTimer clock;
  clock.start();
  Signal(SIGTERM);
  EXPECT_EQ(EndedWithin(5000), quillon::kExitAborted) << Err();
  EXPECT_LT(clock.elapsed(), 5000);
  EXPECT_TRUE(sim.Reports(0).empty());
}

TEST_F(UnattendedOnADisplay, SigintDuringAQuestionBoxEndsTheProgramAsInterrupted) {
  // The model is named, so the first thing shown is the run's own start
  // question (boxes are not silenced without /NM).
  quillon_test::PrinterSimulator sim;
  ASSERT_TRUE(sim.Ready());
  Start({"/HN=" + QString::fromStdString(sim.Address()), "/M=HALVORN KV3", "/NO"});
  ASSERT_NE(x_->WaitForDialog({}, 30000).id, 0u) << Err();
  Signal(SIGINT);
  EXPECT_EQ(EndedWithin(5000), quillon::kExitAborted) << Err();
  EXPECT_TRUE(sim.Reports(0).empty());
}

TEST_F(UnattendedOnADisplay, CloseBoxOfTheStartQuestionEndsTheRunAsDeclined) {
  quillon_test::PrinterSimulator sim;
  ASSERT_TRUE(sim.Ready());
  Start({"/HN=" + QString::fromStdString(sim.Address()), "/M=HALVORN KV3", "/NO"});
  const ui_test::XServer::Window box = x_->WaitForDialog({}, 30000);
  ASSERT_NE(box.id, 0u) << Err();
  ASSERT_TRUE(x_->Close(box.id));
  EXPECT_EQ(EndedWithin(10000), quillon::kExitDeclined) << Err();
  EXPECT_TRUE(sim.Reports(0).empty());
}

TEST_F(UnattendedOnADisplay, CloseBoxOfTheProgressWindowAbortsAndEndsAsInterrupted) {
  quillon_test::PrinterSimulator sim({"--hold", "STOR"});
  ASSERT_TRUE(sim.Ready());
  Start({"/HN=" + QString::fromStdString(sim.Address()), "/M=HALVORN KV3", "/NM", "/NC", "/NO"});
  ASSERT_TRUE(sim.WaitHeld("STOR")) << Err();
  const ui_test::XServer::Window progress = x_->WaitForDialog({}, 10000);
  ASSERT_NE(progress.id, 0u) << Err();
  ASSERT_TRUE(x_->Close(progress.id));
  QThread::msleep(300);
  sim.Release();
  EXPECT_EQ(EndedWithin(10000), quillon::kExitAborted) << Err();
  for (const std::string& r : sim.Reports(0)) EXPECT_EQ(quillon_test::JsonField(r, "size"), "0") << r;
}

TEST_F(UnattendedOnADisplay, SigtermDuringTheTransferAbortsItAndEndsAsInterrupted) {
  // The printer holds its answer to the store command: the progress window
  // is up, and the printer answers once the program was told to end.
  quillon_test::PrinterSimulator sim({"--hold", "STOR"});
  ASSERT_TRUE(sim.Ready());
  Start({"/HN=" + QString::fromStdString(sim.Address()), "/M=HALVORN KV3", "/NM", "/NC", "/NO"});
  ASSERT_TRUE(sim.WaitHeld("STOR")) << Err();
  Signal(SIGTERM);
  QThread::msleep(300);
  sim.Release();
  EXPECT_EQ(EndedWithin(10000), quillon::kExitAborted) << Err();
  // Stopped at the library's first notification, before any of the job.
  for (const std::string& r : sim.Reports(0)) EXPECT_EQ(quillon_test::JsonField(r, "size"), "0") << r;
}

}  // namespace
