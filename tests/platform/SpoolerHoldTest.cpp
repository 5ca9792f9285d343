// A queue held for a firmware update, on the private cupsd: the marks it
// shows, the jobs it keeps back, and that a release (or the next run after
// a killed one) undoes exactly that.

#include "platform/Spooler.h"

#include "tests/support/CupsTestSupport.h"
#include "tests/support/FakeIppServer.h"
#include "tests/support/PrinterSimulator.h"
#include "tests/support/TestEnv.h"
#include "tests/support/WaitUntil.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace quillon_test;
using platform::JobStatus;

namespace {

// A job of somebody else: through the handle, or through lp with
// job-hold-until "no-hold" (-H immediate), which passes the queue's default.
int UserJob(const std::string& queue, const std::string& data) {
  platform::PrinterHandle h;
  if (!h.Open(queue)) return 0;
  const int job = h.StartRawDoc("user job");
  if (job <= 0 || !h.WriteBlock(data.data(), data.size()) || !h.EndDoc()) return 0;
  return job;
}

JobStatus StatusOf(int job) {
  platform::PrinterHandle h;
  if (!h.Open("qh_sim")) return JobStatus::NoAnswer;
  return h.QueryJob(job).status;
}

std::string Output(const std::string& cmd) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> p(::popen((cmd + " 2>/dev/null").c_str(), "r"), ::pclose);
  char buf[4096];
  std::size_t n;
  while (p && (n = std::fread(buf, 1, sizeof buf, p.get())) > 0) out.append(buf, n);
  return out;
}

// A job sent by lp with the given options; its id, 0 on failure.
int LpJob(const std::string& options) {
  const std::string out = Output("echo lp | lp -d qh_sim " + options);
  const std::size_t at = out.find("qh_sim-");
  return at == std::string::npos ? 0 : std::atoi(out.c_str() + at + 7);
}

bool Marked(const platform::QueueHoldState& st) { return st.holdingNewJobs || st.holdByDefault; }

class SpoolerHold : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(CupsdDir().empty()) << "the private cupsd fixture did not run";
    ASSERT_TRUE(sim_.Ready());
    ASSERT_TRUE(AddQueue("qh_sim", "socket://" + sim_.Address() + ":9100"));
  }
  void TearDown() override {
    sim_.Release();
    RunCommand("cancel -a qh_sim >/dev/null 2>&1");
    DeleteQueue("qh_sim");
  }
  // Every RAW connection waits at the printer until released.
  PrinterSimulator sim_{{"--hold", "RAW"}};
};

TEST_F(SpoolerHold, HeldQueueShowsItsMarksKeepsEveryJobBackAndTheReleaseUndoesIt) {
  // One job prints (stopped at the printer), one waits behind it.
  const int printing = UserJob("qh_sim", "first");
  ASSERT_GT(printing, 0);
  ASSERT_TRUE(sim_.WaitHeld("RAW"));
  const int waiting = UserJob("qh_sim", "second");
  ASSERT_GT(waiting, 0);
  ASSERT_EQ(StatusOf(waiting), JobStatus::Pending);

  platform::QueueHold hold;
  ASSERT_TRUE(hold.Begin("qh_sim", platform::kFirmwareUpdateMessage)) << hold.LastError().detail;
  const platform::QueueHoldState st = platform::QueryHoldState("qh_sim");
  EXPECT_TRUE(st.holdingNewJobs);
  EXPECT_TRUE(st.holdByDefault);
  EXPECT_TRUE(st.accepting);  // users' jobs are taken, and wait
  EXPECT_EQ(st.message, platform::kFirmwareUpdateMessage);
  // The waiting job is held; the printing one may finish.
  EXPECT_EQ(StatusOf(waiting), JobStatus::Held);
  EXPECT_EQ(StatusOf(printing), JobStatus::Processing);
  std::string title;
  EXPECT_EQ(hold.HoldOthers(0, &title), printing);
  EXPECT_EQ(title, "user job");

  // Arriving now: held by the default, or (sent with "no-hold") by the
  // next round of HoldOthers.
  const int arriving = UserJob("qh_sim", "third");
  ASSERT_GT(arriving, 0);
  EXPECT_EQ(StatusOf(arriving), JobStatus::Held);
  const int immediate = LpJob("-H immediate");
  ASSERT_GT(immediate, 0);
  EXPECT_EQ(StatusOf(immediate), JobStatus::Pending);
  hold.HoldOthers(0);
  EXPECT_EQ(StatusOf(immediate), JobStatus::Held);

  platform::QueueHold none;
  EXPECT_TRUE(none.Release());  // nothing to undo

  ASSERT_TRUE(hold.Release()) << hold.LastError().detail;
  EXPECT_FALSE(hold.Active());
  const platform::QueueHoldState after = platform::QueryHoldState("qh_sim");
  EXPECT_FALSE(Marked(after));
  EXPECT_NE(after.message, platform::kFirmwareUpdateMessage);
  for (const int job : {waiting, arriving, immediate}) EXPECT_NE(StatusOf(job), JobStatus::Held) << job;
  sim_.Release();
  ASSERT_EQ(sim_.Reports(4).size(), 4u);
  EXPECT_TRUE(WaitUntil([&] { return StatusOf(immediate) == JobStatus::Completed; }, 30000));
}

TEST_F(SpoolerHold, JobsTheirOwnersHeldStayHeldAndTheOldDefaultComesBack) {
  ASSERT_EQ(RunCommand("lpadmin -p qh_sim -o job-hold-until-default=weekend >/dev/null 2>&1"), 0);
  const int mine = LpJob("-H indefinite");
  ASSERT_GT(mine, 0);
  ASSERT_EQ(StatusOf(mine), JobStatus::Held);
  platform::QueueHold hold;
  ASSERT_TRUE(hold.Begin("qh_sim", platform::kFirmwareUpdateMessage)) << hold.LastError().detail;
  EXPECT_TRUE(platform::QueryHoldState("qh_sim").holdByDefault);
  ASSERT_TRUE(hold.Release()) << hold.LastError().detail;
  EXPECT_EQ(StatusOf(mine), JobStatus::Held);
  EXPECT_NE(Output("lpoptions -p qh_sim").find("job-hold-until=weekend"), std::string::npos);
  RunCommand("lpadmin -p qh_sim -o job-hold-until-default=no-hold >/dev/null 2>&1");
}

// The printer is stopped by the hold and goes on at its release; one an
// operator had stopped stays stopped.
TEST_F(SpoolerHold, OnlyAPrinterTheHoldStoppedGoesOnAtTheRelease) {
  for (const bool operatorStopped : {false, true}) {
    SCOPED_TRACE(operatorStopped ? "stopped by an operator" : "stopped by the hold");
    if (operatorStopped) {
      ASSERT_EQ(RunCommand("cupsdisable qh_sim >/dev/null 2>&1"), 0);
    }
    platform::QueueHold hold;
    ASSERT_TRUE(hold.Begin("qh_sim", platform::kFirmwareUpdateMessage));
    ASSERT_TRUE(hold.StopPrinter()) << hold.LastError().detail;
    EXPECT_TRUE(platform::QueryHoldState("qh_sim").stopped);
    ASSERT_TRUE(hold.Release()) << hold.LastError().detail;
    EXPECT_EQ(platform::QueryHoldState("qh_sim").stopped, operatorStopped);
  }
  RunCommand("cupsenable qh_sim >/dev/null 2>&1");
}

// A run killed while holding leaves the marks; the next one clears them.
// An operator's own hold (no "indefinite" default) is not ours to clear.
TEST_F(SpoolerHold, AHoldLeftByAKilledRunIsReleasedByTheNextAndAnOperatorsHoldIsLeftAlone) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    platform::QueueHold* hold = new platform::QueueHold;  // never released
    const bool held = hold->Begin("qh_sim", platform::kFirmwareUpdateMessage);
    ::_exit(held && hold->StopPrinter() ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_EQ(status, 0);
  platform::QueueHoldState st = platform::QueryHoldState("qh_sim");
  ASSERT_TRUE(st.holdingNewJobs && st.holdByDefault && st.stopped);
  EXPECT_EQ(st.message, platform::kFirmwareUpdateMessage);

  EXPECT_TRUE(platform::ReleaseStaleHold("qh_sim"));
  st = platform::QueryHoldState("qh_sim");
  EXPECT_FALSE(Marked(st));
  EXPECT_FALSE(st.stopped);
  EXPECT_TRUE(st.message.empty()) << st.message;
  EXPECT_FALSE(platform::ReleaseStaleHold("qh_sim"));

  ASSERT_EQ(RunCommand("cupsdisable --hold qh_sim >/dev/null 2>&1"), 0);
  EXPECT_FALSE(platform::ReleaseStaleHold("qh_sim"));
  EXPECT_TRUE(platform::QueryHoldState("qh_sim").holdingNewJobs);
  RunCommand("cupsenable --release qh_sim >/dev/null 2>&1");
}

TEST_F(SpoolerHold, AQueueThatCannotBeHeldIsToldAndLeftUnchanged) {
  platform::QueueHold hold;
  EXPECT_FALSE(hold.Begin("qh_no_such_queue", platform::kFirmwareUpdateMessage));
  EXPECT_EQ(hold.LastError().code, 0x0406);
  EXPECT_FALSE(hold.Active());
  EXPECT_FALSE(platform::QueryHoldState("qh_no_such_queue").known);
}

// A server that refuses a step of the hold: told in its own words, no
// password asked, and what was changed before the refusal is undone.
class SpoolerHoldRefused : public ::testing::Test {
 protected:
  template <typename Body>
  void WithServer(Body body) {
    ASSERT_TRUE(server_.Ready());
    const char* was = std::getenv("CUPS_SERVER");
    const std::string saved = was ? was : "";
    ::setenv("CUPS_SERVER", server_.Path().c_str(), 1);
    std::thread(body).join();
    if (was) ::setenv("CUPS_SERVER", saved.c_str(), 1);
    else ::unsetenv("CUPS_SERVER");
  }
  int Count(int op) const {
    int n = 0;
    for (const int o : server_.Operations()) n += o == op;
    return n;
  }
  FakeIppServer server_;
};

constexpr int kHoldNewJobs = 0x0025, kReleaseHeldNewJobs = 0x0026, kModifyPrinter = 0x4003;

TEST_F(SpoolerHoldRefused, ARefusedDefaultIsToldAndNothingElseIsTried) {
  server_.SetReply(kModifyPrinter, {0x0401, "no operator rights, says the test server"});
  WithServer([] {
    platform::QueueHold hold;
    EXPECT_FALSE(hold.Begin("fake", platform::kFirmwareUpdateMessage));
    EXPECT_EQ(hold.LastError().code, 0x0401);
    EXPECT_EQ(hold.LastError().detail, "no operator rights, says the test server");
    EXPECT_FALSE(hold.Active());
  });
  EXPECT_EQ(Count(kHoldNewJobs), 0);
}

TEST_F(SpoolerHoldRefused, ARefusedHoldNewJobsUndoesTheDefault) {
  server_.SetReply(kHoldNewJobs, {0x0401, "hold refused by the test server"});
  WithServer([] {
    platform::QueueHold hold;
    EXPECT_FALSE(hold.Begin("fake", platform::kFirmwareUpdateMessage));
    EXPECT_EQ(hold.LastError().detail, "hold refused by the test server");
    EXPECT_FALSE(hold.Active());
  });
  const std::vector<int> ops = server_.Operations();
  const auto held = std::find(ops.begin(), ops.end(), kHoldNewJobs);
  ASSERT_NE(held, ops.end());
  // The default changed before it goes back after it.
  EXPECT_EQ(Count(kModifyPrinter), 2);
  EXPECT_NE(std::find(held, ops.end(), kModifyPrinter), ops.end());
  EXPECT_NE(std::find(held, ops.end(), kReleaseHeldNewJobs), ops.end());
}

}  // namespace
