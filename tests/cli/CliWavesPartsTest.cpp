// The pieces of a rollout's rules and reports, without a printer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "cli/Arguments.h"
#include "cli/BareHost.h"
#include "cli/BatchRunner.h"
#include "cli/Parallel.h"
#include "cli/ProgressBar.h"
#include "cli/RunSummary.h"
#include "cli/Verify.h"
#include "cli/Waves.h"
#include "core/command/DownloadJob.h"
#include "tests/support/TestEnv.h"

using quillon::PrinterTarget;
using quillon::kJobTempFile;

using namespace cli;

TEST(CliWavesParts, TheFailureLimitAndWhatCounts) {
  Options o;
  o.maxFailures = 5;
  o.maxFailuresPercent = true;
  EXPECT_EQ(WavesOf(o, 41).maxFailures, 3);  // 2.05 rounded up
  EXPECT_EQ(WavesOf(o, 1).maxFailures, 1);
  EXPECT_EQ(WavesOf(o, 0).maxFailures, 1);
  o.maxFailuresPercent = false;
  EXPECT_EQ(WavesOf(o, 41).maxFailures, 5);
  o.maxFailures = 0;
  EXPECT_EQ(WavesOf(o, 41).maxFailures, 0);

  for (const char* tried : {"failed", "aborted", "unreachable"}) EXPECT_TRUE(CountsAsFailure(tried));
  for (const char* untried : {"refused", "skipped", "declined", "busy", "not_started", "succeeded"})
    EXPECT_FALSE(CountsAsFailure(untried)) << untried;
  EXPECT_FALSE(IsFailureOutcome("succeeded", 0));
  EXPECT_FALSE(IsFailureOutcome("skipped", 0));
  EXPECT_TRUE(IsFailureOutcome("succeeded", 11));  // unverified
  EXPECT_TRUE(IsFailureOutcome("refused", 12));
}

TEST(CliWavesParts, ArgumentsOfTheWaves) {
  Options o;
  std::string error;
  ASSERT_TRUE(ParseArguments({"download", "P", "--printer", "q", "--canary", "2",
                              "--max-failures", "10%"}, o, error)) << error;
  EXPECT_EQ(o.canary, 2);
  EXPECT_EQ(o.maxFailures, 10);
  EXPECT_TRUE(o.maxFailuresPercent);
  for (const char* bad : {"0", "-1", "x", "%", "0%", "101%", "3.5"})
    EXPECT_FALSE(ParseArguments({"download", "P", "--printer", "q", "--max-failures", bad}, o, error))
        << bad;
  EXPECT_FALSE(ParseArguments({"download", "P", "--printer", "q", "--canary", "0"}, o, error));
  EXPECT_FALSE(ParseArguments({"inventory", "h", "--canary", "1"}, o, error));
}

TEST(CliWavesParts, StatusAndSummaryTexts) {
  EXPECT_EQ(StatusText(27, 41, {}, 300), "");
  EXPECT_EQ(StatusText(27, 41, {{"10.0.0.33", 45.7}, {"10.0.0.34", 50}, {"q1", 3}}, 300),
            "27/41 done, waiting for 3: .34 50/300 s, .33 45/300 s, q1 3/300 s");
  EXPECT_EQ(StatusText(0, 9, {{"a", 1}, {"b", 2}, {"c", 3}, {"d", 4}, {"e", 5}}, 60),
            "0/9 done, waiting for 5: e 5/60 s, d 4/60 s, c 3/60 s, b 2/60 s ...");
  EXPECT_EQ(SummaryText({"refused", "succeeded", "succeeded", "unverified", "odd"}),
            "summary: 5 printers: 2 succeeded, 1 unverified, 1 refused, 1 odd");
  EXPECT_EQ(SummaryText({"skipped"}), "summary: 1 printer: 1 skipped");
  // A Japanese run names the outcomes in words; one it does not know stays as it is.
  EXPECT_EQ(SummaryText({"refused", "succeeded", "succeeded", "odd"}, true),
            "集計: プリンタ 4 台: 成功 2、拒否 1、odd 1");
}

TEST(CliWavesParts, IdentityAfterTheRestart) {
  EXPECT_EQ(IdentityChange({}, "anything", "S1"), "");
  EXPECT_EQ(IdentityChange({"KV3", "", "", -1}, " kv3 ", ""), "");
  EXPECT_NE(IdentityChange({"KV3", "", "", -1}, "RX-140", "").find("another model: RX-140 (was KV3)"),
            std::string::npos);
  EXPECT_NE(IdentityChange({"KV3", "", "", -1}, "", "").find("another model"), std::string::npos);
  EXPECT_NE(IdentityChange({"KV3", "S1", "", -1}, "KV3", "S2").find("another serial"), std::string::npos);
  EXPECT_EQ(IdentityChange({"KV3", "S1", "", -1}, "KV3", ""), "");  // the source names none
}

TEST(CliWavesParts, WhatLooksLikeABareHost) {
  for (const char* host : {"127.0.78.1", "printer.example.org", "10.1.2.3"})
    EXPECT_TRUE(LooksLikeBareHost(host)) << host;
  for (const char* queue : {"office", "KV3_Floor2", "", ".x", "x.", "a..b", "a b.c", "ftp://h/x"})
    EXPECT_FALSE(LooksLikeBareHost(queue)) << queue;
}

// The runner's pause between rounds ends as soon as there is something to
// do: a printer's checks are in (Wake), or a running job's transfer ended.
// With a pause far longer than the bound below, either missed would show
// (and end the pause only after it).
class CliRunnerParts : public ::testing::Test {
 protected:
  static bool EndsWithin(std::future<void>& run, int seconds) {
    return run.wait_for(std::chrono::seconds(seconds)) == std::future_status::ready;
  }
};

TEST_F(CliRunnerParts, AWakeEndsThePauseAtOnce) {
  ProgressBar bar(false);
  BatchRunner runner(1, bar);
  runner.PauseMs = 30000;
  std::atomic<bool> ready{false};
  int asked = 0;
  std::future<void> run = std::async(std::launch::async, [&] {
    runner.RunFed([&]() -> quillon::DownloadJob* { ++asked; return nullptr; },
                  [&] { return !ready.load(); }, [](quillon::DownloadJob&) {});
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ready = true;
  runner.Wake();
  EXPECT_TRUE(EndsWithin(run, 10)) << "the runner slept through its wake";
  run.wait();
  EXPECT_GE(asked, 1);
}

TEST_F(CliRunnerParts, AJobsEndIsReapedWithoutWaitingForTheNextRound) {
  const std::string dir = quillon_test::MakeTestDir("runner");
  quillon::DownloadJobRequest r;
  r.transfer.target = PrinterTarget::Of("ftp://127.0.0.6/vesta0");
  r.transfer.printer = r.transfer.target.Canonical();
  r.logPath = dir + "/DownLoad.log";
  r.historyPath = dir + "/history.sqlite";
  // No package: the output thread ends at once.
  quillon::DownloadJob job(std::move(r));
  ProgressBar bar(false);
  BatchRunner runner(1, bar);
  runner.PauseMs = 30000;
  bool handedOut = false;
  int reported = 0;
  std::future<void> run = std::async(std::launch::async, [&] {
    runner.RunFed(
        [&]() -> quillon::DownloadJob* {
          handedOut = true;
          return &job;
        },
        [&] { return !handedOut; }, [&](quillon::DownloadJob&) { ++reported; });
  });
  EXPECT_TRUE(EndsWithin(run, 10)) << "the job's end did not wake the runner";
  run.wait();
  EXPECT_EQ(reported, 1);
  EXPECT_EQ(job.Result().transfer.code, kJobTempFile);
}

TEST_F(CliRunnerParts, BackgroundWorkTellsEachEndOnceItCanBeSeen) {
  constexpr std::size_t kItems = 40;
  std::atomic<int> told{0};
  std::atomic<int> unseen{0};
  std::vector<std::atomic<int>> each(kItems);
  {
    BackgroundWork work(kItems, 4, [](std::size_t) {},
                        [&](const BackgroundWork& w, std::size_t i) {
                          if (!w.Ended(i)) ++unseen;
                          ++each[i];
                          ++told;
                        });
  }
  EXPECT_EQ(told.load(), static_cast<int>(kItems));
  EXPECT_EQ(unseen.load(), 0) << "told before the end could be seen";
  for (std::size_t i = 0; i < kItems; ++i) EXPECT_EQ(each[i].load(), 1) << i;
}

TEST_F(CliRunnerParts, BackgroundWorkStoppedStartsNoItemMoreAndWaitsForThoseBegun) {
  // One at a time, each item slow: the stop comes while the first runs.
  constexpr std::size_t kItems = 20;
  std::atomic<int> begun{0};
  std::atomic<int> finished{0};
  std::atomic<bool> firstRunning{false};
  BackgroundWork work(kItems, 1, [&](std::size_t) {
    ++begun;
    firstRunning = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ++finished;
  });
  while (!firstRunning) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  work.Stop();
  EXPECT_EQ(finished.load(), begun.load()) << "Stop returned while an item still ran";
  EXPECT_LT(begun.load(), static_cast<int>(kItems)) << "items went on being started";
  EXPECT_FALSE(work.Ended(kItems - 1));
}
