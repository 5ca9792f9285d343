// The output thread on its own: job file, spooler route on the private
// cupsd, FTP route against the printer simulator, results and progress.
#include <gtest/gtest.h>

#include <QDeadlineTimer>

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"
#include "core/transfer/JobStream.h"
#include "core/transfer/PrintThread.h"
#include "tests/support/TestEnv.h"
#include "tests/support/DownloadSupport.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/PrintSinkRecorder.h"
#include "tests/support/PrinterSimulator.h"
#include "tests/support/CupsTestSupport.h"
#include "tests/support/FakeIppServer.h"
#include "tests/support/WaitUntil.h"
#include "platform/Spooler.h"

using quillon::JobFileAhead;
using quillon::SetField;
using quillon::TransferRequest;
using quillon::TransferResult;
using quillon::TransferResultCode;
using quillon::TransferRoute;

using namespace quillon_test;
using platform::JobStatus;

namespace {

TEST(PrintThreadTarget, LibraryResultsMapToDownloadResults) {
  for (const bool loggedIn : {false, true}) {
    EXPECT_EQ(TransferResultCode(0, loggedIn), 0);
    EXPECT_EQ(TransferResultCode(0x20000003, loggedIn), 35);
    EXPECT_EQ(TransferResultCode(0x20000009, loggedIn), 18);
    EXPECT_EQ(TransferResultCode(0x20001000, loggedIn), 4096);
    EXPECT_EQ(TransferResultCode(0x2000000A, loggedIn), 33);
    EXPECT_EQ(TransferResultCode(-1, loggedIn), 33);
  }
  // No connection, greeting or login: the printer cannot be opened; no
  // free local data port after the login: a failed send.
  EXPECT_EQ(TransferResultCode(0x20000006, false), 32);
  EXPECT_EQ(TransferResultCode(0x20000006, true), 33);
}

class PrintThreadRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_FALSE(CupsdDir().empty()) << "the private cupsd fixture did not run";
    listener_ = new RawListener();
    ASSERT_TRUE(AddQueue("qd_raw", SocketUri(listener_->Port())));
    // Nobody answers for this one: its jobs stay processing.
    ASSERT_TRUE(AddQueue("qd_dead", SocketUri(UnusedPort())));
  }
  static void TearDownTestSuite() {
    delete listener_;
    listener_ = nullptr;
  }
  void SetUp() override {
    app_ = MakeApp();
    jobsBefore_ = listener_->Jobs().size();
  }
  void TearDown() override { EXPECT_EQ(JobFilesLeft(), 0) << "job file left behind"; }

  void Select(const std::string& target, const char* model) {
    app_->SelectedPrinter = target;
    SetField(app_->SelectedEntry.Driver, model);
    app_->ResolveModel(app_->SelectedEntry);
  }
  // Starts the thread and waits (bounded) for its end.
  int Run(int watchMs = 100, int timeoutMs = 60000) {
    thread_ = std::make_unique<TPrintThread>(app_->MakeTransferRequest(initItems_), sink_);
    thread_->WatchIntervalMs = watchMs;
    thread_->PreparedJob = prepared_;
    thread_->start();
    EXPECT_TRUE(thread_->wait(QDeadlineTimer(timeoutMs))) << "the thread did not end";
    return thread_->Result().code;
  }
  std::string NewJob() {
    EXPECT_TRUE(listener_->WaitForJobs(jobsBefore_ + 1, 30000));
    const auto jobs = listener_->Jobs();
    return jobs.size() > jobsBefore_ ? jobs.back() : std::string();
  }

  static RawListener* listener_;
  std::unique_ptr<TQUILLONApp> app_;
  std::uint32_t initItems_ = TQUILLONApp::kDefaultInitItems;  // what the start question chose
  PrintSinkRecorder sink_;
  std::unique_ptr<TPrintThread> thread_;
  std::size_t jobsBefore_ = 0;
  std::shared_ptr<JobFileAhead> prepared_;  // the job file written ahead, if any
};
RawListener* PrintThreadRun::listener_ = nullptr;

TEST_F(PrintThreadRun, SpoolerRouteSendsAJobFileWrittenAheadAsItIs) {
  const std::string data = package_test::Pattern(5000, 6);
  SetPackage(*app_, data, 1, 1);
  initItems_ = 4;
  Select("qd_raw", "KV3");
  prepared_ = std::make_shared<JobFileAhead>(app_->Package);
  EXPECT_EQ(Run(1000), 0);
  EXPECT_EQ(NewJob(), WrappedStream(data, 4));
  // Taken by the transfer: another restart digit no longer fits it.
  std::string path;
  std::uint32_t length = 0;
  EXPECT_FALSE(prepared_->Take(app_->Package.get(), true, 1, {}, path, length));
  thread_.reset();
  prepared_.reset();
}

TEST_F(PrintThreadRun, SpoolerRouteDeliversTheWrappedJobAndWatchesItToTheEnd) {
  const std::string data = package_test::Pattern(3000, 5);
  SetPackage(*app_, data, 1, 1);
  initItems_ = 5;
  Select("qd_raw", "KV3");  // a model that takes the download command
  EXPECT_EQ(Run(1000), 0);
  const std::string expected = WrappedStream(data, 5);
  EXPECT_EQ(NewJob(), expected);
  EXPECT_EQ(JobStatusOf(LastJobId("qd_raw")), JobStatus::Completed);
  const auto ev = sink_.Events();
  ASSERT_GE(ev.size(), 6u);
  EXPECT_EQ(ev[0], "range 0 100 1");
  EXPECT_EQ(ev[1], "total " + std::to_string(expected.size()));
  EXPECT_EQ(ev[2], "action 4130");
  EXPECT_EQ(ev[3], "pos 0");
  // The bar climbs while sending, then starts again for the watch.
  auto at = [&](const std::string& e) { return std::find(ev.begin(), ev.end(), e) - ev.begin(); };
  EXPECT_LT(at("pos 83"), at("max"));
  EXPECT_LT(at("max"), at("action 4131"));
  EXPECT_EQ(ev[at("action 4131") - 1], "pos 0");
  EXPECT_EQ(ev.back(), "max");
}

TEST_F(PrintThreadRun, ThousandBytesGoAsTwoBlocksAndTheBareDataWithoutTheCommand) {
  const std::string data = package_test::Pattern(1000, 9);
  SetPackage(*app_, data, 1, 1);
  Select("qd_raw", "RX-110");  // no command flag
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(NewJob(), data);
  const auto ev = sink_.Events();
  const std::vector<std::string> sending(ev.begin() + 2, ev.begin() + 7);
  EXPECT_EQ(sending, (std::vector<std::string>{"action 4130", "pos 0", "pos 51", "max", "pos 0"}));
}

TEST_F(PrintThreadRun, CommandSettingOffSendsTheBareData) {
  const std::string data = package_test::Pattern(1024, 3);  // ends with a 0-byte write
  SetPackage(*app_, data, 1, 1);
  app_->EnableCommand = 0;
  Select("qd_raw", "KV3");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(NewJob(), data);
}

TEST_F(PrintThreadRun, MissingQueueOrEmptyJobEndWithTheirCodes) {
  SetPackage(*app_, "abc", 0, 0);
  Select("qd_no_such_queue", "RX-110");
  EXPECT_EQ(Run(), 32);
  for (const auto& e : sink_.Events()) EXPECT_NE(e, "action 4130");

  app_->Package.reset();
  Select("qd_raw", "RX-110");
  EXPECT_EQ(Run(), 18);
  SetPackage(*app_, "", 1, 1);  // an empty package without the command
  EXPECT_EQ(Run(), 18);
}

TEST_F(PrintThreadRun, RequestIsASnapshotTheApplicationObjectCannotChangeLater) {
  const std::string data = package_test::Pattern(2000, 4);
  SetPackage(*app_, data, 1, 1);
  initItems_ = 6;
  Select("qd_raw", "KV3");
  const TransferRequest request = app_->MakeTransferRequest(initItems_);
  EXPECT_EQ(request.route, TransferRoute::Spooler);
  EXPECT_TRUE(request.WithCommand());
  // What the window does next must not reach a transfer already asked for.
  app_->EnableCommand = 0;
  app_->SelectedPrinter = "qd_no_such_queue";
  app_->Package.reset();
  thread_ = std::make_unique<TPrintThread>(request, sink_);
  thread_->WatchIntervalMs = 100;
  thread_->start();
  ASSERT_TRUE(thread_->wait(QDeadlineTimer(60000)));
  const TransferResult& r = thread_->Result();
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(r.detail.empty());
  const std::string expected = WrappedStream(data, 6);
  EXPECT_EQ(NewJob(), expected);
  EXPECT_EQ(r.bytesSent, expected.size());
  EXPECT_EQ(r.jobBytes, expected.size());
}

TEST_F(PrintThreadRun, FailuresCarryTheirCauseAndAbortsTheBytesReallySent) {
  SetPackage(*app_, "abc", 0, 0);
  Select("qd_no_such_queue", "RX-110");
  EXPECT_EQ(Run(), 32);
  EXPECT_NE(thread_->Result().detail.find("qd_no_such_queue"), std::string::npos)
      << thread_->Result().detail;
  EXPECT_EQ(thread_->Result().bytesSent, 0u);

  app_->Package.reset();
  Select("qd_raw", "RX-110");
  EXPECT_EQ(Run(), 18);
  EXPECT_EQ(thread_->Result().detail, "no package is open");

  // Half way: the bytes handed to the server are whole runs of blocks,
  // fewer than the job.
  SetPackage(*app_, package_test::Pattern(200000, 1), 0, 0);
  sink_.onEvent = [this](const std::string& e) {
    if (e == "pos 50") thread_->Abort();
  };
  EXPECT_EQ(Run(), 4096);
  const TransferResult r = thread_->Result();
  EXPECT_GT(r.bytesSent, 0u);
  EXPECT_LT(r.bytesSent, 200000u);
  EXPECT_EQ(r.bytesSent % (64 * 512), 0u);
  EXPECT_EQ(r.detail, "aborted after " + std::to_string(r.bytesSent) + " bytes");
}

TEST_F(PrintThreadRun, AbortWhileSendingCancelsTheJob) {
  SetPackage(*app_, package_test::Pattern(200000, 1), 0, 0);
  Select("qd_raw", "RX-110");
  // Before the first block, and half way with part of the job sent.
  for (const std::string trigger : {"action 4130", "pos 50"}) {
    SCOPED_TRACE(trigger);
    const int before = LastJobId("qd_raw");
    sink_.onEvent = [this, trigger](const std::string& e) {
      if (e == trigger) thread_->requestInterruption();
    };
    EXPECT_EQ(Run(), 4096);
    const int job = LastJobId("qd_raw");
    if (trigger == "action 4130") {
      // Asked before the queue is held: no job is made at all.
      EXPECT_EQ(job, before);
      EXPECT_EQ(thread_->Result().bytesSent, 0u);
      continue;
    }
    ASSERT_GT(job, before);
    EXPECT_EQ(JobStatusOf(job), JobStatus::Canceled);
    for (const auto& e : sink_.Events()) EXPECT_NE(e, "action 4131");
  }
  // Nothing reached the printer: the queue prints in order, so once a later
  // job has arrived the cancelled ones would have come first.
  platform::PrinterHandle next;
  ASSERT_TRUE(next.Open("qd_raw"));
  ASSERT_GT(next.StartRawDoc("after the aborted ones"), 0);
  ASSERT_TRUE(next.WriteBlock("later", 5));
  ASSERT_TRUE(next.EndDoc());
  EXPECT_EQ(NewJob(), "later");
  EXPECT_EQ(listener_->Jobs().size(), jobsBefore_ + 1);
}

TEST_F(PrintThreadRun, AbortDuringTheWatchCancelsTheJob) {
  SetPackage(*app_, "abort me in the queue", 0, 0);
  Select("qd_dead", "RX-110");
  thread_ = std::make_unique<TPrintThread>(app_->MakeTransferRequest(initItems_), sink_);
  thread_->WatchIntervalMs = 100;
  thread_->start();
  ASSERT_TRUE(sink_.WaitFor("action 4131", 30000));
  // A few polls of the job's state go by.
  const long long polled = platform::SpoolerTrafficSoFar().requests;
  ASSERT_TRUE(WaitUntil(
      [&] { return platform::SpoolerTrafficSoFar().requests >= polled + 3; }, 30000));
  EXPECT_TRUE(thread_->isRunning());  // the job never ends by itself
  thread_->requestInterruption();
  // The interruption is taken at the next pause, not after a long wait.
  const bool prompt = thread_->wait(QDeadlineTimer(3000));
  if (!prompt) {
    ASSERT_TRUE(thread_->wait(QDeadlineTimer(10000)));
  }
  EXPECT_TRUE(prompt);
  EXPECT_EQ(thread_->Result().code, 4096);
  EXPECT_EQ(JobStatusOf(LastJobId("qd_dead")), JobStatus::Canceled);
}

TEST_F(PrintThreadRun, JobCancelledBySomeoneElseIsAFailure) {
  SetPackage(*app_, "cancel me from outside", 0, 0);
  Select("qd_dead", "RX-110");
  thread_ = std::make_unique<TPrintThread>(app_->MakeTransferRequest(initItems_), sink_);
  thread_->WatchIntervalMs = 100;
  thread_->start();
  ASSERT_TRUE(sink_.WaitFor("action 4131", 30000));
  const int job = LastJobId("qd_dead");
  ASSERT_GT(job, 0);
  ASSERT_EQ(RunCommand("cancel " + std::to_string(job) + " >/dev/null 2>&1"), 0);
  ASSERT_TRUE(thread_->wait(QDeadlineTimer(15000)));
  EXPECT_EQ(thread_->Result().code, 34);
}

// Stops the private print server for the life of the object (SIGSTOP: it
// keeps its connections but answers nothing), and lets it go on after.
class FrozenPrintServer {
 public:
  FrozenPrintServer() {
    std::ifstream in(CupsdDir() + "/cupsd.pid");
    in >> pid_;
    if (pid_ > 0) ::kill(pid_, SIGSTOP);
  }
  ~FrozenPrintServer() {
    if (pid_ > 0) ::kill(pid_, SIGCONT);
  }
  bool Frozen() const { return pid_ > 0; }

 private:
  pid_t pid_ = 0;
};

TEST_F(PrintThreadRun, WatchEndsWhenThePrintServerStopsAnswering) {
  SetPackage(*app_, "nobody will ever say", 0, 0);
  Select("qd_dead", "RX-110");
  thread_ = std::make_unique<TPrintThread>(app_->MakeTransferRequest(initItems_), sink_);
  thread_->WatchIntervalMs = 100;
  thread_->NoAnswerLimitMs = 200;
  thread_->start();
  ASSERT_TRUE(sink_.WaitFor("action 4131", 30000));
  const int job = LastJobId("qd_dead");
  {
    FrozenPrintServer frozen;
    ASSERT_TRUE(frozen.Frozen());
    // Each unanswered query waits out the spooler layer's own bound first.
    ASSERT_TRUE(thread_->wait(QDeadlineTimer(60000))) << "the watch never gave up";
  }
  EXPECT_EQ(thread_->Result().code, 33);
  EXPECT_NE(thread_->Result().detail.find("has not answered about job " + std::to_string(job)),
            std::string::npos)
      << thread_->Result().detail;
  RunCommand("cancel " + std::to_string(job) + " >/dev/null 2>&1");
}

// A print server that refuses the finished document with its own words
// and then takes the cancel: the transfer tells the refusal, not the
// cancel's answer.
TEST(PrintThreadSpoolerCause, ARefusedDocumentIsToldInThePrintServersWords) {
  FakeIppServer server;
  ASSERT_TRUE(server.Ready());
  server.SetReply(0x0006 /* Send-Document */, {0x040A, "document refused by the test server"});
  auto app = MakeApp();
  SetPackage(*app, package_test::Pattern(3000, 2), 0, 0);
  app->SelectedPrinter = "fake";
  SetField(app->SelectedEntry.Driver, "RX-110");
  app->ResolveModel(app->SelectedEntry);
  PrintSinkRecorder sink;
  const char* was = std::getenv("CUPS_SERVER");
  const std::string saved = was ? was : "";
  // The output thread reads its print server afresh.
  ::setenv("CUPS_SERVER", server.Path().c_str(), 1);
  TPrintThread thread(app->MakeTransferRequest(TQUILLONApp::kDefaultInitItems), sink);
  thread.start();
  const bool ended = thread.wait(QDeadlineTimer(30000));
  if (was) ::setenv("CUPS_SERVER", saved.c_str(), 1);
  else ::unsetenv("CUPS_SERVER");
  ASSERT_TRUE(ended);
  EXPECT_EQ(thread.Result().code, 33);
  EXPECT_EQ(thread.Result().detail,
            "the print server refused the finished job: document refused by the test server");
  const std::vector<int> ops = server.Operations();
  EXPECT_NE(std::find(ops.begin(), ops.end(), 0x0008 /* Cancel-Job */), ops.end());
  EXPECT_EQ(JobFilesLeft(), 0);
}

// The job's end as the print server's events tell it, and the poll when
// the server keeps no events. The scripted server answers every job
// lookup "canceled", so a success can only have come from an event.
class PrintThreadSpoolerEvents : public ::testing::Test {
 protected:
  // A package of size bytes for the scripted server's queue "fake".
  static std::unique_ptr<TQUILLONApp> AppForFakeQueue(std::size_t size, int seed) {
    auto app = MakeApp();
    SetPackage(*app, package_test::Pattern(size, seed), 0, 0);
    app->SelectedPrinter = "fake";
    SetField(app->SelectedEntry.Driver, "RX-110");
    app->ResolveModel(app->SelectedEntry);
    return app;
  }
  // CUPS_SERVER pointed at the scripted server while it lives.
  class ServerInEnv {
   public:
    explicit ServerInEnv(const FakeIppServer& server) {
      const char* was = std::getenv("CUPS_SERVER");
      had_ = was != nullptr;
      if (had_) saved_ = was;
      ::setenv("CUPS_SERVER", server.Path().c_str(), 1);
    }
    ~ServerInEnv() {
      if (had_) ::setenv("CUPS_SERVER", saved_.c_str(), 1);
      else ::unsetenv("CUPS_SERVER");
    }
    ServerInEnv(const ServerInEnv&) = delete;
    ServerInEnv& operator=(const ServerInEnv&) = delete;

   private:
    bool had_ = false;
    std::string saved_;
  };

  int RunAgainst(FakeIppServer& server) {
    auto app = AppForFakeQueue(3000, 2);
    bool ended = false;
    {
      const ServerInEnv env(server);
      thread_ = std::make_unique<TPrintThread>(app->MakeTransferRequest(TQUILLONApp::kDefaultInitItems), sink_);
      thread_->start();
      ended = thread_->wait(QDeadlineTimer(30000));
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(JobFilesLeft(), 0);
    return thread_->Result().code;
  }
  static bool Sent(const FakeIppServer& server, int op) {
    const std::vector<int> ops = server.Operations();
    return std::find(ops.begin(), ops.end(), op) != ops.end();
  }
  PrintSinkRecorder sink_;
  std::unique_ptr<TPrintThread> thread_;
};

constexpr int kGetJobAttributes = 0x0009, kGetNotifications = 0x001C,
              kCancelSubscription = 0x001B;

// A server that does not hold an ask for events is asked again after a
// tenth of the job's time in its state: a short job's end is seen within
// moments, a long one is not asked for many times a second, and a short
// watch interval never turns the bounds round.
TEST(PrintThreadEventAsks, ThePauseIsATenthOfTheTimeInTheStateWithinItsBounds) {
  using ms = std::chrono::milliseconds;
  EXPECT_EQ(TPrintThread::EventAskPauseMs(ms(0), 50, 1000), 20);
  EXPECT_EQ(TPrintThread::EventAskPauseMs(ms(400), 50, 1000), 40);
  EXPECT_EQ(TPrintThread::EventAskPauseMs(ms(3600 * 1000), 50, 1000), 250);
  for (const int watch : {1, 40, 100, 1000})
    for (const long long since : {0LL, 150LL, 5000LL, 1LL << 40}) {
      const int pause = TPrintThread::EventAskPauseMs(ms(since), 50, watch);
      EXPECT_GE(pause, 1) << watch << " " << since;
      EXPECT_LE(pause, std::max(20, watch / 4)) << watch << " " << since;
    }
}

TEST_F(PrintThreadSpoolerEvents, TheEndIsTheOneTheJobsEventsTell) {
  FakeIppServer server;
  ASSERT_TRUE(server.Ready());
  server.OfferSubscriptions({5 /* processing */, 9 /* completed */});
  EXPECT_EQ(RunAgainst(server), 0);
  EXPECT_EQ(sink_.Events().back(), "max");
  EXPECT_TRUE(Sent(server, kGetNotifications));
  EXPECT_FALSE(Sent(server, kGetJobAttributes));
  EXPECT_TRUE(Sent(server, kCancelSubscription));
}

TEST_F(PrintThreadSpoolerEvents, WithoutEventsTheJobIsPolledAsBefore) {
  // Subscriptions ignored: the poll's "canceled" ends it.
  FakeIppServer ignoring;
  ASSERT_TRUE(ignoring.Ready());
  EXPECT_EQ(RunAgainst(ignoring), 34);
  EXPECT_TRUE(Sent(ignoring, kGetJobAttributes));
  EXPECT_FALSE(Sent(ignoring, kGetNotifications));
  // The ask for events refused: the same, and the subscription is
  // cancelled all the same.
  FakeIppServer refusing;
  ASSERT_TRUE(refusing.Ready());
  refusing.OfferSubscriptions({9});
  refusing.SetReply(kGetNotifications, {0x0501, "no events here"});
  EXPECT_EQ(RunAgainst(refusing), 34);
  EXPECT_TRUE(Sent(refusing, kGetJobAttributes));
  EXPECT_TRUE(Sent(refusing, kCancelSubscription));
}

// A print server that takes the requests and never answers one of them:
// the abort ends the transfer within a second, as aborted, with the bytes
// handed over (the bound of a request is 15 s).
TEST_F(PrintThreadSpoolerEvents, AnAbortCutsARequestTheServerNeverAnswersWithinASecond) {
  struct Stage {
    const char* name;
    std::function<void(FakeIppServer&)> script;
    bool everyByte;  // all of the job was handed over before the hang
  };
  const std::vector<Stage> stages = {
      {"queue hold", [](FakeIppServer& s) { s.HoldAnswersTo(0x0025 /* Hold-New-Jobs */); }, false},
      {"create job", [](FakeIppServer& s) { s.HoldAnswersTo(0x0005); }, false},
      {"document data", [](FakeIppServer& s) { s.StallStreamedRequests(); }, false},
      {"document answer", [](FakeIppServer& s) { s.HoldAnswersTo(0x0006); }, true},
      {"job events",
       [](FakeIppServer& s) {
         s.OfferSubscriptions({});
         s.HoldAnswersTo(kGetNotifications);
       },
       true},
  };
  for (const Stage& stage : stages) {
    SCOPED_TRACE(stage.name);
    FakeIppServer server;
    ASSERT_TRUE(server.Ready());
    stage.script(server);
    auto app = AppForFakeQueue(8u << 20, 3);
    std::optional<ServerInEnv> env(std::in_place, server);
    PrintSinkRecorder sink;
    TPrintThread thread(app->MakeTransferRequest(TQUILLONApp::kDefaultInitItems), sink);
    thread.start();
    // Long enough for the thread to reach the request that hangs.
    const bool early = thread.wait(QDeadlineTimer(1500));
    const auto asked = std::chrono::steady_clock::now();
    thread.Abort();
    const bool prompt = early || thread.wait(QDeadlineTimer(1000));
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
    if (!prompt) thread.wait(QDeadlineTimer(60000));
    env.reset();
    EXPECT_FALSE(early) << "ended before the abort: " << thread.Result().code;
    EXPECT_TRUE(prompt) << took << " s";
    EXPECT_EQ(thread.Result().code, 4096) << thread.Result().detail;
    const std::uint64_t jobBytes = thread.Result().jobBytes;
    if (stage.everyByte) {
      EXPECT_EQ(thread.Result().bytesSent, jobBytes);
    } else {
      EXPECT_LT(thread.Result().bytesSent, jobBytes);
    }
    EXPECT_NE(thread.Result().detail.find(std::to_string(thread.Result().bytesSent) + " bytes"),
              std::string::npos)
        << thread.Result().detail;
    EXPECT_EQ(JobFilesLeft(), 0);
    // The job and its subscription are cancelled at a server that still
    // answers those.
    if (stage.everyByte) {
      EXPECT_TRUE(Sent(server, 0x0008 /* Cancel-Job */));
      if (std::string(stage.name) == "job events") {
        EXPECT_TRUE(Sent(server, kCancelSubscription));
      }
    }
  }
}

class PrintThreadFtp : public PrintThreadRun {
 protected:
  static void SetUpTestSuite() {}
  static void TearDownTestSuite() {}
  void SetUp() override {
    app_ = MakeApp();
  }
  std::string Target() const { return "ftp://" + sim_->Address() + "/vesta0"; }
  void Start(const std::vector<std::string>& args) {
    sim_ = std::make_unique<PrinterSimulator>(args);
    ASSERT_TRUE(sim_->Ready());
  }
  std::unique_ptr<PrinterSimulator> sim_;
};

TEST_F(PrintThreadFtp, UploadReachesThePrinterWithProgressNotifications) {
  Start({});
  const std::string data = package_test::Pattern(300000, 2);
  SetPackage(*app_, data, 1, 1);
  Select(Target(), "KV3");
  EXPECT_EQ(Run(), 0);
  const std::string expected = WrappedStream(data, 1);
  const auto reports = sim_->Reports(1);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(JsonField(reports[0], "route"), "\"ftp\"");
  EXPECT_EQ(JsonField(reports[0], "size"), std::to_string(expected.size()));
  EXPECT_EQ(JsonField(reports[0], "verdict"), "\"ok\"");
  EXPECT_EQ(JsonField(reports[0], "data_size"), std::to_string(data.size()));
  const auto ev = sink_.Events();
  EXPECT_EQ(ev[1], "total " + std::to_string(expected.size()));
  // The first progress carries the file's length, the last the whole count.
  std::vector<std::string> progress;
  for (const auto& e : ev)
    if (e.rfind("notify 1040 6 ", 0) == 0) progress.push_back(e.substr(14));
  ASSERT_GE(progress.size(), 2u);
  EXPECT_EQ(progress.front(), std::to_string(expected.size()));
  EXPECT_EQ(progress.back(), std::to_string(expected.size()));
}

// A job file written ahead goes on the wire byte for byte as the one the
// thread builds; a transfer whose choices give another stream builds its
// own beside it.
TEST_F(PrintThreadFtp, AJobFileWrittenAheadSendsTheSameBytes) {
  Start({});
  const std::string data = package_test::Pattern(300000, 4);
  SetPackage(*app_, data, 1, 1);
  Select(Target(), "KV3");
  prepared_ = std::make_shared<JobFileAhead>(app_->Package);
  std::size_t sent = 0;
  for (const unsigned items : {3u, 2u, 3u}) {
    SCOPED_TRACE(items);
    initItems_ = items;
    ASSERT_EQ(Run(), 0);
    const auto reports = sim_->Reports(++sent);
    ASSERT_EQ(reports.size(), sent);
    EXPECT_EQ(ReceivedJob(reports.back()), WrappedStream(data, items));
    EXPECT_EQ(thread_->Result().bytesSent, WrappedStream(data, items).size());
  }
  // The first transfer took the file and gave it its restart command.
  std::string path;
  std::uint32_t length = 0;
  EXPECT_FALSE(prepared_->Take(app_->Package.get(), true, 2, {}, path, length));
  ASSERT_TRUE(prepared_->Take(app_->Package.get(), true, 3, {}, path, length));
  EXPECT_EQ(ReadFileBytes(path), WrappedStream(data, 3));
  thread_.reset();
  prepared_.reset();
}

TEST_F(PrintThreadFtp, ProgressReachesTheSinkCoalescedWithFirstAndLastAndTheCountIsKept) {
  Start({});
  const std::string data = package_test::Pattern(2 << 20, 3);  // 4096 chunks
  SetPackage(*app_, data, 0, 0);
  Select(Target(), "RX-110");
  EXPECT_EQ(Run(), 0);
  std::size_t progress = 0;
  std::string last;
  for (const auto& e : sink_.Events()) {
    if (e.rfind("notify 1040 6 ", 0) == 0) {
      ++progress;
      last = e.substr(14);
    }
  }
  EXPECT_GE(progress, 2u);
  // Far fewer than one per 512-byte chunk reach the sink.
  EXPECT_LT(progress, data.size() / 512 / 4);
  EXPECT_EQ(last, std::to_string(data.size()));
  EXPECT_EQ(thread_->Result().bytesSent, data.size());
}

TEST_F(PrintThreadFtp, RefusedDirectoryStoreAndAbortGiveTheirCodes) {
  Start({"--ftp-fault", "refuse-cwd"});
  SetPackage(*app_, "data", 0, 0);
  Select(Target(), "RX-110");
  EXPECT_EQ(Run(), 35);

  Start({"--ftp-fault", "store-553"});
  Select(Target(), "RX-110");
  EXPECT_EQ(Run(), 33);

  Start({});
  Select(Target(), "RX-110");
  sink_.onNotify = [](std::uintptr_t w, std::intptr_t) { return w == 5 ? 1 : 0; };
  EXPECT_EQ(Run(), 4096);
}

}  // namespace

namespace {

TEST_F(PrintThreadFtp, NoConnectionOrNoGreetingIsAPrinterThatCannotBeOpened) {
  SetPackage(*app_, "data", 0, 0);
  // Nothing listens at the port: refused before any login.
  Select("ftp://127.0.0.1:" + std::to_string(UnusedPort()) + "/vesta0", "RX-110");
  EXPECT_EQ(Run(), 32);
  EXPECT_NE(thread_->Result().detail.find(std::strerror(ECONNREFUSED)), std::string::npos)
      << thread_->Result().detail;
  // A server that answers the connection with no usable greeting.
  Start({"--ftp-fault", "greeting-120"});
  Select(Target(), "RX-110");
  EXPECT_EQ(Run(), 32);
  EXPECT_NE(thread_->Result().detail.find("greeting"), std::string::npos)
      << thread_->Result().detail;
  EXPECT_EQ(thread_->Result().bytesSent, 0u);
}

// The printer stops at point; the abort comes while the thread waits
// there. The thread must end within a second of it, as aborted.
class PrintThreadFtpHeld : public PrintThreadFtp {
 protected:
  std::chrono::milliseconds AbortWhileHeld(const char* point) {
    Start({"--hold", point});
    SetPackage(*app_, package_test::Pattern(100000, 5), 0, 0);
    Select(Target(), "RX-110");
    thread_ = std::make_unique<TPrintThread>(app_->MakeTransferRequest(initItems_), sink_);
    thread_->start();
    EXPECT_TRUE(sim_->WaitHeld(point));
    const auto asked = std::chrono::steady_clock::now();
    thread_->Abort();
    EXPECT_TRUE(thread_->wait(QDeadlineTimer(10000))) << "the thread did not end";
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - asked);
    sim_->Release();
    return took;
  }
};

TEST_F(PrintThreadFtpHeld, AbortWhileThePrinterHoldsItsFinalReplyEndsAbortedWithEveryByte) {
  EXPECT_LT(AbortWhileHeld("STOR-END"), std::chrono::milliseconds(1000));
  const TransferResult& r = thread_->Result();
  EXPECT_EQ(r.code, 4096) << r.detail;
  // The data had gone: all of it was handed over.
  EXPECT_EQ(r.bytesSent, r.jobBytes);
  EXPECT_GE(r.bytesSent, 100000u);
  EXPECT_EQ(r.detail, "aborted after " + std::to_string(r.bytesSent) + " bytes");
}

TEST_F(PrintThreadFtpHeld, AbortWhileThePrinterHoldsItsGreetingEndsAbortedWithNothingSent) {
  EXPECT_LT(AbortWhileHeld("GREETING"), std::chrono::milliseconds(1000));
  EXPECT_EQ(thread_->Result().code, 4096) << thread_->Result().detail;
  EXPECT_EQ(thread_->Result().bytesSent, 0u);
  EXPECT_TRUE(sim_->Reports(0).empty());
}

}  // namespace

namespace {

// The spooler route to a queue whose device is the printer simulator's RAW
// port, which keeps every job connection waiting until released: the
// firmware job stays in progress while the test sends users' jobs.
class PrintThreadHold : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(CupsdDir().empty()) << "the private cupsd fixture did not run";
    ASSERT_TRUE(sim_.Ready());
    ASSERT_TRUE(AddQueue("qd_hold", "socket://" + sim_.Address() + ":9100"));
    app_ = MakeApp();
    SetPackage(*app_, package_test::Pattern(5000, 7), 1, 1);
    app_->SelectedPrinter = "qd_hold";
    SetField(app_->SelectedEntry.Driver, "KV3");
    app_->ResolveModel(app_->SelectedEntry);
  }
  void TearDown() override {
    sim_.Release();
    if (thread_) thread_->wait(QDeadlineTimer(30000));
    thread_.reset();
    RunCommand("cancel -a qd_hold >/dev/null 2>&1");
    DeleteQueue("qd_hold");
    EXPECT_EQ(JobFilesLeft(), 0) << "job file left behind";
  }
  void Start(bool hold = true, bool keep = false, int holdWaitMs = 60000) {
    TransferRequest request = app_->MakeTransferRequest(initItems_);
    request.holdQueue = hold;
    request.keepHoldAfterTransfer = keep;
    thread_ = std::make_unique<TPrintThread>(request, sink_);
    thread_->WatchIntervalMs = 100;
    thread_->HoldWaitMs = holdWaitMs;
    thread_->start();
  }
  int End() {
    EXPECT_TRUE(thread_->wait(QDeadlineTimer(60000))) << "the thread did not end";
    return thread_->Result().code;
  }
  // A user's job: through the handle, as any application sends one.
  static int UserJob(const std::string& data) {
    platform::PrinterHandle h;
    if (!h.Open("qd_hold")) return 0;
    const int job = h.StartRawDoc("user job");
    if (job <= 0 || !h.WriteBlock(data.data(), data.size()) || !h.EndDoc()) return 0;
    return job;
  }
  // The queue as users see it after the update: no mark of the hold.
  static void ExpectReleased() {
    const platform::QueueHoldState st = platform::QueryHoldState("qd_hold");
    EXPECT_TRUE(st.known);
    EXPECT_TRUE(st.accepting);
    EXPECT_FALSE(st.holdingNewJobs);
    EXPECT_FALSE(st.holdByDefault);
    EXPECT_NE(st.message, platform::kFirmwareUpdateMessage);
  }
  // The firmware job has reached the printer and waits there.
  void WaitForFirmwareAtThePrinter() {
    ASSERT_TRUE(sim_.WaitHeld("RAW"));
    firmwareJob_ = LastJobId("qd_hold");
    ASSERT_GT(firmwareJob_, 0);
  }

  PrinterSimulator sim_{{"--hold", "RAW"}};
  std::unique_ptr<TQUILLONApp> app_;
  std::uint32_t initItems_ = TQUILLONApp::kDefaultInitItems;  // what the start question chose
  PrintSinkRecorder sink_;
  std::unique_ptr<TPrintThread> thread_;
  int firmwareJob_ = 0;
};

TEST_F(PrintThreadHold, AUsersJobSentDuringTheUpdateWaitsAndPrintsAfterTheFirmware) {
  Start();
  WaitForFirmwareAtThePrinter();
  const platform::QueueHoldState st = platform::QueryHoldState("qd_hold");
  EXPECT_TRUE(st.holdingNewJobs);
  EXPECT_TRUE(st.holdByDefault);
  const int user = UserJob("a user's letter");
  ASSERT_GT(user, 0);
  // "no-hold" passes the queue's default; the watch holds it all the same.
  ASSERT_EQ(RunCommand("echo urgent | lp -d qd_hold -H immediate >/dev/null 2>&1"), 0);
  const int urgent = LastJobId("qd_hold");
  ASSERT_GT(urgent, user);
  EXPECT_EQ(JobStatusOf(user), JobStatus::Held);
  EXPECT_TRUE(WaitUntil([&] { return JobStatusOf(urgent) == JobStatus::Held; }, 10000));
  sim_.Release();
  EXPECT_EQ(End(), 0) << thread_->Result().detail;
  ExpectReleased();
  // The printer got the firmware first, the users' jobs after it.
  const auto reports = sim_.Reports(3);
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(JsonField(reports[0], "size"), std::to_string(thread_->Result().jobBytes));
  std::vector<std::string> users{ReceivedJob(reports[1]), ReceivedJob(reports[2])};
  std::sort(users.begin(), users.end());
  EXPECT_EQ(users, (std::vector<std::string>{"a user's letter", "urgent\n"}));
  EXPECT_GE(std::stod(JsonField(reports[1], "started")), std::stod(JsonField(reports[0], "ended")));
}

// The caller that verifies the restart keeps the hold past the transfer:
// nothing else reaches the printer until it lets the hold go.
TEST_F(PrintThreadHold, AKeptHoldKeepsUsersJobsBackUntilTheCallerReleasesIt) {
  Start(true, true);
  WaitForFirmwareAtThePrinter();
  const int user = UserJob("after the restart");
  ASSERT_GT(user, 0);
  sim_.Release();
  EXPECT_EQ(End(), 0) << thread_->Result().detail;
  EXPECT_EQ(JobStatusOf(firmwareJob_), JobStatus::Completed);
  // The firmware is in; the printer restarts; the user's job still waits,
  // and so does one sent now with "no-hold", which nobody holds: the
  // printer itself is stopped until the caller lets go.
  ASSERT_EQ(RunCommand("echo urgent | lp -d qd_hold -H immediate >/dev/null 2>&1"), 0);
  const int urgent = LastJobId("qd_hold");
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(JobStatusOf(user), JobStatus::Held);
  EXPECT_EQ(JobStatusOf(urgent), JobStatus::Pending);
  EXPECT_EQ(sim_.Reports(1).size(), 1u);
  const platform::QueueHoldState st = platform::QueryHoldState("qd_hold");
  EXPECT_TRUE(st.holdingNewJobs);
  EXPECT_TRUE(st.stopped);
  EXPECT_TRUE(st.accepting);
  EXPECT_EQ(st.message, platform::kFirmwareUpdateMessage);  // what users see meanwhile
  std::unique_ptr<platform::QueueHold> hold = thread_->TakeQueueHold();
  ASSERT_TRUE(hold);
  EXPECT_FALSE(thread_->TakeQueueHold());
  EXPECT_TRUE(hold->Release()) << hold->LastError().detail;
  ExpectReleased();
  EXPECT_FALSE(platform::QueryHoldState("qd_hold").stopped);
  const auto reports = sim_.Reports(3);
  ASSERT_EQ(reports.size(), 3u);
  std::vector<std::string> users{ReceivedJob(reports[1]), ReceivedJob(reports[2])};
  std::sort(users.begin(), users.end());
  EXPECT_EQ(users, (std::vector<std::string>{"after the restart", "urgent\n"}));
}

// A failure (the firmware job cancelled at the server) and an abort both
// leave the queue released with the user's job free to print.
TEST_F(PrintThreadHold, FailureAndAbortReleaseTheQueueAndTheUsersJobs) {
  for (const bool abort : {false, true}) {
    SCOPED_TRACE(abort ? "abort" : "failure");
    Start();
    WaitForFirmwareAtThePrinter();
    const int user = UserJob(abort ? "after the abort" : "after the failure");
    ASSERT_GT(user, 0);
    EXPECT_EQ(JobStatusOf(user), JobStatus::Held);
    if (abort) thread_->Abort();
    else ASSERT_EQ(RunCommand("cancel " + std::to_string(firmwareJob_) + " >/dev/null 2>&1"), 0);
    EXPECT_EQ(End(), abort ? 4096 : 34) << thread_->Result().detail;
    ExpectReleased();
    EXPECT_NE(JobStatusOf(user), JobStatus::Held);
    sim_.Release();
    EXPECT_TRUE(WaitUntil([&] { return JobStatusOf(user) == JobStatus::Completed; }, 30000));
    // The next round starts with the printer holding again.
    RunCommand("rm -f " + ShellQuote(sim_.Root() + "/release") + " " +
               ShellQuote(sim_.Root() + "/held.jsonl"));
  }
}

TEST_F(PrintThreadHold, WithoutTheHoldTheQueueIsLeftAlone) {
  Start(false);
  WaitForFirmwareAtThePrinter();
  const platform::QueueHoldState st = platform::QueryHoldState("qd_hold");
  EXPECT_FALSE(st.holdingNewJobs);
  EXPECT_FALSE(st.holdByDefault);
  const int user = UserJob("nobody holds me");
  ASSERT_GT(user, 0);
  EXPECT_EQ(JobStatusOf(user), JobStatus::Pending);
  sim_.Release();
  EXPECT_EQ(End(), 0);
}

// A job of others that does not end within the bound: the update is
// refused with that job as its cause, nothing is sent, the queue released.
TEST_F(PrintThreadHold, AJobThatKeepsPrintingRefusesTheUpdateWithItsCause) {
  const int printing = UserJob("a long report");
  ASSERT_GT(printing, 0);
  ASSERT_TRUE(sim_.WaitHeld("RAW"));
  const auto begin = std::chrono::steady_clock::now();
  Start(true, false, 1500);
  // While it waits, the queue shows the update to its users.
  EXPECT_TRUE(WaitUntil(
      [] { return platform::QueryHoldState("qd_hold").message == platform::kFirmwareUpdateMessage; },
      10000));
  EXPECT_EQ(End(), 32);
  EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(1500));
  EXPECT_EQ(thread_->Result().detail,
            "queue \"qd_hold\" is busy: job " + std::to_string(printing) +
                " (\"user job\") was still printing after 1 s, nothing was sent");
  EXPECT_EQ(thread_->Result().bytesSent, 0u);
  EXPECT_EQ(LastJobId("qd_hold"), printing);  // no firmware job was made
  ExpectReleased();
  EXPECT_EQ(JobStatusOf(printing), JobStatus::Processing);
}

// An abort while the hold waits for the printing job ends it at once.
TEST_F(PrintThreadHold, AnAbortWhileWaitingForThePrintingJobEndsPromptlyAndReleases) {
  ASSERT_GT(UserJob("another long report"), 0);
  ASSERT_TRUE(sim_.WaitHeld("RAW"));
  Start();
  ASSERT_TRUE(WaitUntil([] { return platform::QueryHoldState("qd_hold").holdingNewJobs; }, 10000));
  thread_->Abort();
  EXPECT_TRUE(thread_->wait(QDeadlineTimer(3000)));
  EXPECT_EQ(End(), 4096);
  ExpectReleased();
}

// A print server that refuses the hold: the update is refused in its words,
// and no job is made.
TEST(PrintThreadHoldCause, AQueueThatCannotBeHeldRefusesTheUpdateNothingSent) {
  FakeIppServer server;
  ASSERT_TRUE(server.Ready());
  server.SetReply(0x0025 /* Hold-New-Jobs */, {0x0401, "hold refused by the test server"});
  auto app = MakeApp();
  SetPackage(*app, package_test::Pattern(3000, 2), 0, 0);
  app->SelectedPrinter = "fake";
  SetField(app->SelectedEntry.Driver, "RX-110");
  app->ResolveModel(app->SelectedEntry);
  PrintSinkRecorder sink;
  const char* was = std::getenv("CUPS_SERVER");
  const std::string saved = was ? was : "";
  ::setenv("CUPS_SERVER", server.Path().c_str(), 1);
  TPrintThread thread(app->MakeTransferRequest(TQUILLONApp::kDefaultInitItems), sink);
  thread.start();
  const bool ended = thread.wait(QDeadlineTimer(30000));
  if (was) ::setenv("CUPS_SERVER", saved.c_str(), 1);
  else ::unsetenv("CUPS_SERVER");
  ASSERT_TRUE(ended);
  EXPECT_EQ(thread.Result().code, 32);
  EXPECT_EQ(thread.Result().detail,
            "queue \"fake\" cannot be held for the update, nothing was sent: hold refused by the "
            "test server (--no-hold sends without holding it)");
  EXPECT_EQ(thread.Result().bytesSent, 0u);
  const std::vector<int> ops = server.Operations();
  EXPECT_EQ(std::find(ops.begin(), ops.end(), 0x0005 /* Create-Job */), ops.end());
  EXPECT_EQ(JobFilesLeft(), 0);
}

}  // namespace
