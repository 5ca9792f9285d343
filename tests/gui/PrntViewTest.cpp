// The progress window over a real output thread: it starts the thread when
// shown, follows it, answers the library's notifications, and aborts on
// both routes without blocking the two threads on each other.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <string>
#include <thread>

#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"
#include "gui/PrntView.h"
#include "gui/QuitSignals.h"
#include "platform/Spooler.h"
#include "resources/StringTable.h"
#include "tests/support/TestEnv.h"
#include "tests/support/DownloadSupport.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/PrinterSimulator.h"
#include "tests/support/CupsTestSupport.h"
#include "tests/support/WaitUntil.h"

using quillon::LoadQStr;
using quillon::SetField;

using namespace quillon_test;
using platform::JobStatus;

namespace {

// Calls step every 10 ms while the dialog is up until it returns true.
class Driver : public QObject {
 public:
  explicit Driver(std::function<bool()> step) : step_(std::move(step)) {
    connect(&timer_, &QTimer::timeout, this, [this] {
      if (step_()) timer_.stop();
    });
    timer_.start(10);
  }

 private:
  std::function<bool()> step_;
  QTimer timer_;
};

class ProgressWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_FALSE(CupsdDir().empty()) << "the private cupsd fixture did not run";
    listener_ = new RawListener();
    ASSERT_TRUE(AddQueue("qv_raw", SocketUri(listener_->Port())));
    ASSERT_TRUE(AddQueue("qv_dead", SocketUri(UnusedPort())));
  }
  static void TearDownTestSuite() {
    delete listener_;
    listener_ = nullptr;
  }
  void SetUp() override {
    app_ = MakeApp();
    view_ = std::make_unique<TfrmPrntView>(nullptr, app_.get());
    view_->OnThreadCreated = [](TPrintThread& t) { t.WatchIntervalMs = 100; };
  }
  void TearDown() override {
    view_.reset();
    EXPECT_EQ(JobFilesLeft(), 0) << "job file left behind";
  }
  void Select(const std::string& target, const char* model) {
    app_->SelectedPrinter = target;
    SetField(app_->SelectedEntry.Driver, model);
    app_->ResolveModel(app_->SelectedEntry);
  }
  // Shows the window modally, bounded: a hang fails instead of blocking.
  int Exec(int timeoutMs = 60000) {
    QTimer guard;
    guard.setSingleShot(true);
    bool expired = false;
    QObject::connect(&guard, &QTimer::timeout, [&] {
      expired = true;
      view_->done(-1);
    });
    guard.start(timeoutMs);
    const int r = view_->exec();
    EXPECT_FALSE(expired) << "the window did not close by itself";
    return r;
  }
  bool LabelIs(int id) const { return view_->lblAction->text() == LoadQStr(id); }

  static RawListener* listener_;
  std::unique_ptr<TQUILLONApp> app_;
  std::unique_ptr<TfrmPrntView> view_;
};
RawListener* ProgressWindow::listener_ = nullptr;

TEST_F(ProgressWindow, SpoolerDownloadClosesWithOkAfterTheWatch) {
  const std::size_t before = listener_->Jobs().size();
  const std::string data = package_test::Pattern(70000, 4);
  SetPackage(*app_, data, 1, 1);
  Select("qv_raw", "KV3");
  EXPECT_EQ(view_->windowTitle().isEmpty(), false);
  EXPECT_EQ(view_->TotalBytes, 1u);
  EXPECT_EQ(Exec(), TfrmPrntView::kResultDone);
  EXPECT_EQ(view_->Result.code, 0);
  ASSERT_TRUE(listener_->WaitForJobs(before + 1, 30000));
  EXPECT_EQ(listener_->Jobs().back(), WrappedStream(data, 1));
  EXPECT_TRUE(LabelIs(4139));
  EXPECT_FALSE(view_->btnAbort->isEnabled());
  EXPECT_EQ(view_->Progress->value(), 100);
  EXPECT_EQ(view_->TotalBytes, WrappedStream(data, 1).size());
  EXPECT_EQ(view_->btnAbort->text(), LoadQStr(4128));
}

TEST_F(ProgressWindow, ShowingTwiceReplacesTheThread) {
  SetPackage(*app_, "first", 0, 0);
  Select("qv_raw", "RX-110");
  EXPECT_EQ(Exec(), TfrmPrntView::kResultDone);
  const TPrintThread* first = view_->Thread.get();
  ASSERT_NE(first, nullptr);
  Select("qv_missing", "RX-110");
  EXPECT_EQ(Exec(), TfrmPrntView::kResultDone);
  EXPECT_EQ(view_->Result.code, 32);
  EXPECT_TRUE(view_->btnAbort->isEnabled() == false);
  EXPECT_EQ(view_->AbortRequested, 0);
}

TEST_F(ProgressWindow, AbortButtonDuringTheWatchCancelsAndClosesWithAbort) {
  SetPackage(*app_, "never printed", 0, 0);
  Select("qv_dead", "RX-110");
  // Spooler requests from the click until the thread has ended: the job
  // is cancelled at the thread's next pause, not after further polls.
  long long requestsAfterClick = -1;
  Driver driver([&] {
    if (!LabelIs(4131)) return false;
    const long long atClick = platform::SpoolerTrafficSoFar().requests;
    view_->btnAbort->click();  // returns only when the thread has ended
    requestsAfterClick = platform::SpoolerTrafficSoFar().requests - atClick;
    return true;
  });
  EXPECT_EQ(Exec(), TfrmPrntView::kResultAborted);
  ASSERT_GE(requestsAfterClick, 1);  // the cancel itself
  // A poll under way (the job's state, the held queue's jobs), the cancel,
  // its check, and the release of the queue's hold (its default, its
  // held new jobs, its job list).
  EXPECT_LE(requestsAfterClick, 7);
  EXPECT_EQ(view_->Result.code, 4096);
  EXPECT_EQ(view_->AbortRequested, 1);
  EXPECT_EQ(JobStatusOf(LastJobId("qv_dead")), JobStatus::Canceled);
  EXPECT_FALSE(view_->btnAbort->isEnabled());  // the end handler ran too
  // The thread's outcome is the last word, and it is the abort.
  EXPECT_TRUE(LabelIs(4138));
}

TEST_F(ProgressWindow, CloseBoxAfterTheEndButBeforeItsHandlerClosesWithTheThreadsSuccess) {
  // The thread has ended, its queued end handler has not run yet, and the
  // close box is clicked: the result is still the thread's.
  SetPackage(*app_, package_test::Pattern(2000, 3), 0, 0);
  Select("qv_raw", "RX-110");
  bool endPending = false;
  Driver driver([&] {
    if (!view_->Thread) return false;
    view_->Thread->wait();
    endPending = view_->btnAbort->isEnabled();  // the end handler disables it
    view_->reject();
    return true;
  });
  EXPECT_EQ(Exec(), TfrmPrntView::kResultDone);
  EXPECT_TRUE(endPending);
  EXPECT_EQ(view_->Result.code, 0);
  EXPECT_EQ(view_->Result.code, 0);
  EXPECT_TRUE(LabelIs(4139));
  // The late end handler changes nothing.
  QCoreApplication::sendPostedEvents(view_.get());
  EXPECT_EQ(view_->Result.code, 0);
  EXPECT_TRUE(LabelIs(4139));
}

TEST_F(ProgressWindow, AbortAfterTheEndButBeforeItsHandlerIsNoAbort) {
  // An abort that comes too late does not make a finished download one.
  SetPackage(*app_, package_test::Pattern(2000, 5), 0, 0);
  Select("qv_raw", "RX-110");
  Driver driver([&] {
    if (!view_->Thread) return false;
    view_->Thread->wait();
    view_->btnAbort->click();
    return true;
  });
  EXPECT_EQ(Exec(), TfrmPrntView::kResultDone);
  EXPECT_EQ(view_->Result.code, 0);
  EXPECT_EQ(view_->Result.code, 0);
  EXPECT_TRUE(LabelIs(4139));
}

TEST_F(ProgressWindow, CloseBoxWhileRunningActsAsAbort) {
  SetPackage(*app_, "closed by the frame", 0, 0);
  Select("qv_dead", "RX-110");
  Driver driver([&] {
    if (!LabelIs(4131)) return false;
    view_->close();
    return true;
  });
  EXPECT_EQ(Exec(), TfrmPrntView::kResultAborted);
  EXPECT_EQ(view_->Result.code, 4096);
  EXPECT_EQ(JobStatusOf(LastJobId("qv_dead")), JobStatus::Canceled);
}

TEST_F(ProgressWindow, NotificationsMoveLabelAndBarAndAnswerTheAbort) {
  view_->TotalBytes = 200;
  EXPECT_EQ(view_->OnTransferNotify(4, 0), 0);
  EXPECT_TRUE(LabelIs(4132));
  EXPECT_EQ(view_->OnTransferNotify(5, 0), 0);
  EXPECT_TRUE(LabelIs(4131));
  EXPECT_EQ(view_->OnTransferNotify(6, 200), 0);
  EXPECT_EQ(view_->Progress->value(), 100);
  EXPECT_EQ(view_->OnTransferNotify(6, 50), 0);
  EXPECT_EQ(view_->Progress->value(), 25);
  EXPECT_EQ(view_->OnTransferNotify(7, 0), 0);
  EXPECT_TRUE(LabelIs(4131));
  // Counts beyond 42 MB do not wrap the bar around.
  view_->TotalBytes = 64u << 20;
  EXPECT_EQ(view_->OnTransferNotify(6, 48 << 20), 0);
  EXPECT_EQ(view_->Progress->value(), 75);
  view_->AbortRequested = 1;
  for (unsigned w = 1; w <= 7; ++w) EXPECT_EQ(view_->OnTransferNotify(w, 0), 1);
}

class ProgressWindowFtp : public ProgressWindow {
 protected:
  static void SetUpTestSuite() {}
  static void TearDownTestSuite() {}
};

TEST_F(ProgressWindowFtp, UploadEndsWithOkAndTheBarFull) {
  PrinterSimulator sim;
  ASSERT_TRUE(sim.Ready());
  const std::string data = package_test::Pattern(500000, 8);
  SetPackage(*app_, data, 1, 1);
  Select("ftp://" + sim.Address() + "/vesta0", "KV3");
  EXPECT_EQ(Exec(), TfrmPrntView::kResultDone);
  EXPECT_EQ(view_->Result.code, 0);
  EXPECT_EQ(view_->Progress->value(), 100);
  EXPECT_EQ(view_->TotalBytes, WrappedStream(data, 1).size());
  const auto reports = sim.Reports(1);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(JsonField(reports[0], "verdict"), "\"ok\"");
  EXPECT_EQ(JsonField(reports[0], "size"), std::to_string(WrappedStream(data, 1).size()));
}

TEST_F(ProgressWindowFtp, AbortDuringTheTransferGivesAbortWithoutBlocking) {
  // The printer holds its answer to the store command: the abort is pressed
  // while the library waits for it, the window keeps serving events, and
  // the abort is answered at the library's next notification once the
  // printer answers.
  PrinterSimulator sim({"--hold", "STOR"});
  ASSERT_TRUE(sim.Ready());
  SetPackage(*app_, package_test::Pattern(100000, 6), 0, 0);
  Select("ftp://" + sim.Address() + "/vesta0", "RX-110");
  QElapsedTimer clock;
  qint64 releasedAt = -1;
  bool runningAtRelease = false;
  bool stepAtRelease = false;
  Driver driver([&] {
    if (!LabelIs(4131) || !sim.Held("STOR")) return false;
    // Runs inside the click, which waits for the thread without blocking.
    QTimer::singleShot(0, [&] {
      runningAtRelease = view_->Thread && !view_->Thread->isFinished();
      stepAtRelease = LabelIs(4131);
      releasedAt = clock.elapsed();
      sim.Release();
    });
    view_->btnAbort->click();
    return true;
  });
  clock.start();
  EXPECT_EQ(Exec(), TfrmPrntView::kResultAborted);
  ASSERT_GE(releasedAt, 0);
  EXPECT_TRUE(runningAtRelease);
  EXPECT_LT(clock.elapsed() - releasedAt, 10000);
  EXPECT_EQ(view_->Result.code, 4096);
  // The abort is told once the thread has said so, and only then: while
  // it still runs the window shows its step, at the end the abort.
  EXPECT_TRUE(stepAtRelease);
  EXPECT_TRUE(LabelIs(4138));
  EXPECT_EQ(view_->Result.code, 4096);
  // Answered at the first notification, before any of the job's bytes.
  for (const std::string& r : sim.Reports(0)) EXPECT_EQ(JsonField(r, "size"), "0") << r;
}

TEST_F(ProgressWindowFtp, QuitRequestDuringTheTransferAbortsAndKeepsTheThreadsResult) {
  // A quit signal while the printer holds its answer: the window asks the
  // thread to stop and closes with the thread's own result.
  PrinterSimulator sim({"--hold", "STOR"});
  ASSERT_TRUE(sim.Ready());
  SetPackage(*app_, package_test::Pattern(50000, 7), 0, 0);
  Select("ftp://" + sim.Address() + "/vesta0", "RX-110");
  Driver driver([&] {
    if (!LabelIs(4131) || !sim.Held("STOR")) return false;
    QTimer::singleShot(300, [&sim] { sim.Release(); });
    quillon::RequestQuit();
    return true;
  });
  const int r = Exec();
  quillon::ClearQuitRequest();
  EXPECT_EQ(r, TfrmPrntView::kResultAborted);
  EXPECT_EQ(view_->Result.code, 4096);
  EXPECT_TRUE(LabelIs(4138));
  for (const std::string& rep : sim.Reports(0)) EXPECT_EQ(JsonField(rep, "size"), "0") << rep;
}

TEST_F(ProgressWindowFtp, ShowingAfterAQuitRequestSendsNothing) {
  PrinterSimulator sim;
  ASSERT_TRUE(sim.Ready());
  SetPackage(*app_, "not after the end", 0, 0);
  Select("ftp://" + sim.Address() + "/vesta0", "RX-110");
  quillon::RequestQuit();
  const int r = Exec(10000);
  quillon::ClearQuitRequest();
  EXPECT_EQ(r, TfrmPrntView::kResultAborted);
  EXPECT_EQ(view_->Result.code, 4096);
  EXPECT_EQ(view_->Thread, nullptr);
  EXPECT_TRUE(sim.Reports(0).empty());
  EXPECT_TRUE(sim.ConsoleSessions(0).empty());
}

TEST_F(ProgressWindowFtp, RefusedDirectoryEndsWithItsCode) {
  PrinterSimulator sim({"--ftp-fault", "refuse-cwd"});
  ASSERT_TRUE(sim.Ready());
  SetPackage(*app_, "data", 0, 0);
  Select("ftp://" + sim.Address() + "/vesta0", "RX-110");
  EXPECT_EQ(Exec(), TfrmPrntView::kResultDone);
  EXPECT_EQ(view_->Result.code, 35);
}

TEST_F(ProgressWindowFtp, DestroyingTheWindowWhileTheThreadRunsDoesNotHang) {
  PrinterSimulator sim({"--hold", "STOR"});
  ASSERT_TRUE(sim.Ready());
  SetPackage(*app_, "data", 0, 0);
  Select("ftp://" + sim.Address() + "/vesta0", "RX-110");
  view_->show();
  QElapsedTimer clock;
  clock.start();
  while (!(LabelIs(4131) && sim.Held("STOR")) && clock.elapsed() < 20000)
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  ASSERT_TRUE(LabelIs(4131));
  ASSERT_TRUE(sim.Held("STOR"));
  // The printer answers once the window has asked its thread to stop.
  const TPrintThread* thread = view_->Thread.get();
  std::thread printer([&sim, thread] {
    WaitUntil([thread] { return thread->AbortRequested(); }, 20000);
    sim.Release();
  });
  // The helper reads the thread object, so it must be done before that object's memory goes.
  QObject::connect(view_->Thread.get(), &QObject::destroyed, [&printer] {
    if (printer.joinable()) printer.join();
  });
  clock.restart();
  view_.reset();
  EXPECT_LT(clock.elapsed(), 10000);
  if (printer.joinable()) printer.join();
}

}  // namespace
