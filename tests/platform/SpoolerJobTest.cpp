// Raw jobs through the private cupsd to a raw printer listening in the test.

#include "platform/Spooler.h"

#include "tests/support/TestEnv.h"
#include "tests/support/CupsTestSupport.h"
#include "tests/support/FakeIppServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <thread>
#include <vector>

using namespace quillon_test;
using platform::JobStatus;

namespace {

const char kTitle[] = "ﾌﾟﾘﾝﾀ制御ｿﾌﾄｳｪｱﾃﾞｰﾀ";

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(gen() & 0xFF);
  return s;
}

// Sends the data the way the output thread does: blocks of 512, and a last
// write of 0 bytes when the length is a multiple of 512.
bool SendInBlocks(platform::PrinterHandle& h, const std::string& data) {
  std::size_t sent = 0;
  for (;;) {
    const std::size_t n = std::min<std::size_t>(512, data.size() - sent);
    if (!h.WriteBlock(data.data() + sent, n)) return false;
    sent += n;
    if (n < 512) return h.EndDoc();
  }
}

// Polls the job until `pred` holds or the time is up; returns the last state.
template <typename Pred>
platform::JobState WaitForJob(platform::PrinterHandle& h, int job, Pred pred, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  platform::JobState st = h.QueryJob(job);
  while (!pred(st) && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    st = h.QueryJob(job);
  }
  return st;
}

std::string CommandOutput(const std::string& cmd) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> p(popen(cmd.c_str(), "r"), pclose);
  if (!p) return out;
  char buf[512];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p.get())) > 0) out.append(buf, n);
  return out;
}

class SpoolerJob : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(CupsdDir().empty()) << "the private cupsd fixture did not run";
    ASSERT_GT(printer_.Port(), 0);
    ASSERT_TRUE(AddQueue("qt_raw", SocketUri(printer_.Port())));
    // A printer nobody answers for: the backend keeps retrying, so the job
    // stays in processing until it is cancelled.
    ASSERT_TRUE(AddQueue("qt_dead", SocketUri(UnusedPort())));
  }
  RawListener printer_;
};

}  // namespace

TEST_F(SpoolerJob, PrinterReceivesExactlyTheBlocksAndJobCompletes) {
  for (std::size_t size : {1000u, 1536u, 1u}) {
    SCOPED_TRACE(size);
    const std::size_t before = printer_.Jobs().size();
    const std::string data = RandomBytes(size, static_cast<unsigned>(size));
    platform::PrinterHandle h;
    ASSERT_TRUE(h.Open("qt_raw"));
    const int job = h.StartRawDoc(kTitle);
    ASSERT_GT(job, 0);
    EXPECT_EQ(h.CurrentJobId(), job);
    ASSERT_TRUE(SendInBlocks(h, data));
    ASSERT_TRUE(printer_.WaitForJobs(before + 1, 30000));
    EXPECT_EQ(printer_.Jobs().back(), data);
    auto st = WaitForJob(h, job, [](const platform::JobState& s) { return s.Finished(); }, 30000);
    EXPECT_EQ(st.status, JobStatus::Completed);
    // A finished job stays in the server's history and keeps its state.
    EXPECT_EQ(h.QueryJob(job).status, JobStatus::Completed);
  }
}

// The real print server takes the subscription asked with the job and
// tells the job's changes as events; at the job's end it tells the end or
// drops the subscription with the job, and the job's state says the rest.
TEST_F(SpoolerJob, TheServerTellsTheJobsChangesAsEventsUntilItsEnd) {
  platform::PrinterHandle h;
  ASSERT_TRUE(h.Open("qt_dead"));
  const int job = h.StartRawDoc(kTitle);
  ASSERT_GT(job, 0);
  EXPECT_TRUE(h.WatchesJobEvents());
  ASSERT_TRUE(SendInBlocks(h, RandomBytes(2000, 21)));
  platform::JobState st;
  const auto waitFor = [&](JobStatus want) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < end) {
      const platform::JobEvent e = h.NextJobEvent(st);
      if (e == platform::JobEvent::Changed && st.status == want) return e;
      if (e != platform::JobEvent::Changed && e != platform::JobEvent::None) return e;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return platform::JobEvent::None;
  };
  // The printer never answers: the job stays processing.
  ASSERT_EQ(waitFor(JobStatus::Processing), platform::JobEvent::Changed);
  EXPECT_EQ(st.title, kTitle);
  EXPECT_TRUE(h.WatchesJobEvents());
  ASSERT_EQ(RunCommand("cancel " + std::to_string(job) + " >/dev/null 2>&1"), 0);
  const platform::JobEvent end = waitFor(JobStatus::Canceled);
  if (end == platform::JobEvent::Changed) {
    EXPECT_EQ(st.status, JobStatus::Canceled);
  } else {
    EXPECT_EQ(end, platform::JobEvent::NotWatched);
    EXPECT_FALSE(h.WatchesJobEvents());
  }
  EXPECT_EQ(h.QueryJob(job).status, JobStatus::Canceled);
}

TEST_F(SpoolerJob, AbortWhileSendingCancelsTheJob) {
  platform::PrinterHandle h;
  ASSERT_TRUE(h.Open("qt_raw"));
  const int job = h.StartRawDoc(kTitle);
  ASSERT_GT(job, 0);
  const std::string data = RandomBytes(2048, 7);
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(h.WriteBlock(data.data() + i * 512, 512));
  ASSERT_TRUE(h.Abort());
  auto st = WaitForJob(h, job, [](const platform::JobState& s) { return s.Finished(); }, 10000);
  EXPECT_EQ(st.status, JobStatus::Canceled);
  // The handle takes no more data for the aborted job.
  EXPECT_FALSE(h.WriteBlock(data.data(), 512));
  EXPECT_FALSE(h.EndDoc());
  // The document never reached the printer: the queue prints in order, so
  // once a later job has arrived, the aborted one would have come first.
  const std::string later = RandomBytes(100, 8);
  platform::PrinterHandle next;
  ASSERT_TRUE(next.Open("qt_raw"));
  ASSERT_GT(next.StartRawDoc(kTitle), 0);
  ASSERT_TRUE(SendInBlocks(next, later));
  ASSERT_TRUE(printer_.WaitForJobs(1, 30000));
  EXPECT_EQ(printer_.Jobs(), std::vector<std::string>{later});
}

TEST_F(SpoolerJob, ClosingAHandleWithAJobHalfSentCancelsIt) {
  int job = 0;
  platform::PrinterHandle watcher;
  ASSERT_TRUE(watcher.Open("qt_raw"));
  {
    platform::PrinterHandle h;
    ASSERT_TRUE(h.Open("qt_raw"));
    job = h.StartRawDoc(kTitle);
    ASSERT_GT(job, 0);
    ASSERT_TRUE(h.WriteBlock("abc", 3));
  }
  auto st = WaitForJob(watcher, job, [](const platform::JobState& s) { return s.Finished(); }, 10000);
  EXPECT_EQ(st.status, JobStatus::Canceled);
}

TEST_F(SpoolerJob, CancelOfAWaitingJobLeavesItCanceled) {
  platform::PrinterHandle h;
  ASSERT_TRUE(h.Open("qt_dead"));
  const int job = h.StartRawDoc(kTitle);
  ASSERT_GT(job, 0);
  ASSERT_TRUE(SendInBlocks(h, RandomBytes(700, 3)));
  auto st = WaitForJob(h, job, [](const platform::JobState& s) {
    return s.status == JobStatus::Processing || s.Finished();
  }, 10000);
  EXPECT_EQ(st.status, JobStatus::Processing);
  // The server has no byte count of what the printer took.
  EXPECT_EQ(st.kOctetsProcessed, -1);
  // The job carries the title it was given.
  EXPECT_EQ(st.title, kTitle);

  ASSERT_TRUE(h.CancelJob(job));
  st = WaitForJob(h, job, [](const platform::JobState& s) { return s.Finished(); }, 10000);
  EXPECT_EQ(st.status, JobStatus::Canceled);
  // Cancelling again is harmless: the job has ended.
  EXPECT_TRUE(h.CancelJob(job));
  EXPECT_EQ(h.QueryJob(job).status, JobStatus::Canceled);
}

TEST_F(SpoolerJob, JobCancelledBySomeoneElseReportsCanceled) {
  platform::PrinterHandle h;
  ASSERT_TRUE(h.Open("qt_dead"));
  const int job = h.StartRawDoc(kTitle);
  ASSERT_GT(job, 0);
  ASSERT_TRUE(SendInBlocks(h, RandomBytes(512, 5)));
  ASSERT_EQ(RunCommand("cancel " + std::to_string(job) + " >/dev/null 2>&1"), 0);
  EXPECT_NE(CommandOutput("lpstat -W completed -o qt_dead").find("qt_dead-" + std::to_string(job)),
            std::string::npos);
  auto st = WaitForJob(h, job, [](const platform::JobState& s) { return s.Finished(); }, 10000);
  EXPECT_EQ(st.status, JobStatus::Canceled);
}

TEST_F(SpoolerJob, UnknownJobIsReportedUnknown) {
  platform::PrinterHandle h;
  ASSERT_TRUE(h.Open("qt_raw"));
  const auto st = h.QueryJob(987654);
  EXPECT_EQ(st.status, JobStatus::Unknown);
  EXPECT_FALSE(st.Known());
  EXPECT_EQ(h.QueryJob(0).status, JobStatus::Unknown);
  EXPECT_FALSE(h.CancelJob(987654));
}

TEST_F(SpoolerJob, OneJobAtATimeAndNothingWithoutAJob) {
  platform::PrinterHandle h;
  ASSERT_TRUE(h.Open("qt_dead"));
  EXPECT_FALSE(h.WriteBlock("x", 1));
  EXPECT_FALSE(h.EndDoc());
  const int job = h.StartRawDoc(kTitle);
  ASSERT_GT(job, 0);
  EXPECT_EQ(h.StartRawDoc(kTitle), 0);
  ASSERT_TRUE(h.Abort());
  EXPECT_EQ(WaitForJob(h, job, [](const platform::JobState& s) { return s.Finished(); }, 10000).status,
            JobStatus::Canceled);
}

// The same on the real print server: a queue removed while its document
// is sent, and one that takes no jobs. Codes are compared (the server's
// texts follow the locale); the text is the server's, about that job.
TEST_F(SpoolerJob, RefusalsOfTheRealServerKeepTheirStatusAndText) {
  ASSERT_TRUE(AddQueue("qt_gone", SocketUri(UnusedPort())));
  platform::PrinterHandle h;
  ASSERT_TRUE(h.Open("qt_gone"));
  const int job = h.StartRawDoc(kTitle);
  ASSERT_GT(job, 0);
  const std::string data = RandomBytes(4096, 11);
  ASSERT_TRUE(h.WriteBlock(data.data(), 2048));
  ASSERT_EQ(RunCommand("lpadmin -x qt_gone >/dev/null 2>&1"), 0);
  h.WriteBlock(data.data() + 2048, 2048);
  EXPECT_FALSE(h.EndDoc());
  EXPECT_EQ(h.LastError().code, 0x0406);  // not found: the job went with its queue
  EXPECT_NE(h.LastError().detail.find(std::to_string(job)), std::string::npos)
      << h.LastError().detail;

  ASSERT_TRUE(AddQueue("qt_reject", SocketUri(UnusedPort())));
  ASSERT_EQ(RunCommand("cupsreject qt_reject >/dev/null 2>&1"), 0);
  platform::PrinterHandle r;
  ASSERT_TRUE(r.Open("qt_reject"));
  EXPECT_EQ(r.StartRawDoc(kTitle), 0);
  EXPECT_EQ(r.LastError().code, 0x0506);  // not accepting jobs
  EXPECT_NE(r.LastError().detail.find("qt_reject"), std::string::npos) << r.LastError().detail;
}

// A print server that fails one request with its own text: the handle
// tells that text, even where a cancel followed the failure. On a thread of
// its own, whose CUPS settings are read afresh from CUPS_SERVER.
class SpoolerCause : public ::testing::Test {
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
  FakeIppServer server_;
};

constexpr int kCreateJob = 0x0005, kSendDocument = 0x0006, kCancelJob = 0x0008,
              kGetPrinterAttributes = 0x000B;

TEST_F(SpoolerCause, ADocumentRefusedAtItsEndKeepsItsOwnCauseThroughTheCancel) {
  server_.SetReply(kSendDocument, {0x040A, "document refused by the test server"});
  WithServer([] {
    platform::PrinterHandle h;
    ASSERT_TRUE(h.Open("fake"));
    ASSERT_EQ(h.StartRawDoc(kTitle), 7);
    ASSERT_TRUE(h.WriteBlock("data", 4));
    EXPECT_FALSE(h.EndDoc());
    EXPECT_EQ(h.LastError().code, 0x040A);
    EXPECT_EQ(h.LastError().detail, "document refused by the test server");
    // The cancel that followed succeeded, and left its own answer behind.
    EXPECT_NE(platform::SpoolerLastError(), h.LastError().detail);
  });
  const std::vector<int> ops = server_.Operations();
  ASSERT_GE(ops.size(), 4u);
  EXPECT_EQ(ops[2], kSendDocument);
  EXPECT_EQ(ops[3], kCancelJob);
}

// The document refused as it starts: the job made for it is cancelled,
// and the cause is still the refusal.
TEST_F(SpoolerCause, ADocumentRefusedAsItStartsKeepsItsOwnCauseThroughTheCancel) {
  server_.RefuseStreamedRequests(403);
  WithServer([] {
    platform::PrinterHandle h;
    ASSERT_TRUE(h.Open("fake"));
    EXPECT_EQ(h.StartRawDoc(kTitle), 0);
    EXPECT_EQ(h.LastError().code, 0x0401);  // forbidden
    EXPECT_FALSE(h.LastError().detail.empty());
    EXPECT_NE(platform::SpoolerLastError(), h.LastError().detail);
  });
  const std::vector<int> ops = server_.Operations();
  ASSERT_EQ(ops.size(), 3u);
  EXPECT_EQ(ops[1], kCreateJob);
  EXPECT_EQ(ops[2], kCancelJob);
}

TEST_F(SpoolerCause, ARefusedJobOrQueueIsToldInTheServersWords) {
  server_.SetReply(kCreateJob, {0x0506, "not accepting jobs, says the test server"});
  WithServer([] {
    platform::PrinterHandle h;
    ASSERT_TRUE(h.Open("fake"));
    EXPECT_EQ(h.StartRawDoc(kTitle), 0);
    EXPECT_EQ(h.LastError().code, 0x0506);
    EXPECT_EQ(h.LastError().detail, "not accepting jobs, says the test server");
    // Nothing to write to or end: said so, not the old cause again.
    EXPECT_FALSE(h.EndDoc());
    EXPECT_TRUE(h.LastError().Failed());
    EXPECT_NE(h.LastError().detail, "not accepting jobs, says the test server");
  });
  server_.SetReply(kGetPrinterAttributes, {0x0406, "no queue of that name here"});
  WithServer([] {
    platform::PrinterHandle h;
    EXPECT_FALSE(h.Open("fake"));
    EXPECT_EQ(h.LastError().code, 0x0406);
    EXPECT_EQ(h.LastError().detail, "no queue of that name here");
  });
  for (const int op : server_.Operations()) EXPECT_NE(op, kCancelJob);
}
