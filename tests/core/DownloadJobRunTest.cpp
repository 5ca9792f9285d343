// The download job with its real output thread, against the private print
// server: a job killed from another thread while the spooler watch waits
// for a printer that never answers ends promptly as aborted, releases the
// printer and is recorded.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/app/PrinterLock.h"
#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"
#include "core/command/DownloadJob.h"
#include "core/history/DownloadHistory.h"
#include "core/transfer/PrintThread.h"
#include "tests/support/CupsTestSupport.h"
#include "tests/support/DownloadSupport.h"
#include "tests/support/PrintSinkRecorder.h"
#include "tests/support/TestEnv.h"

using namespace quillon;
using namespace quillon_test;

namespace {

TEST(DownloadJobRun, KillFromAnotherThreadEndsTheJobAbortedReleasedAndRecorded) {
  ASSERT_FALSE(CupsdDir().empty()) << "the private cupsd fixture did not run";
  const std::string queue = "qj_dead";
  // Nobody answers for this one: its job stays processing.
  ASSERT_TRUE(AddQueue(queue, SocketUri(UnusedPort())));
  auto app = MakeApp();
  SetPackage(*app, "kill me in the queue", 0, 0);
  app->SelectedPrinter = queue;
  SetField(app->SelectedEntry.Driver, "RX-110");
  app->ResolveModel(app->SelectedEntry);

  const std::string dir = MakeTestDir("jobrun");
  DownloadJobRequest r;
  r.transfer = app->MakeTransferRequest(TQUILLONApp::kDefaultInitItems);
  r.inputs.fileName = r.inputs.packagePath = "/pkg/FW.RXF";
  r.logPath = dir + "/DownLoad.log";
  r.historyPath = dir + "/history.sqlite";
  r.watchIntervalMs = 100;
  PrintSinkRecorder view;
  DownloadJob job(std::move(r), &view);
  ASSERT_TRUE(job.Start());
  // The job is in the queue, watched: the view saw the thread's steps.
  ASSERT_TRUE(view.WaitFor("action 4131", 30000));
  EXPECT_FALSE(job.Finished());
  PrinterLock probe;
  EXPECT_FALSE(probe.TryAcquire(PrinterTarget::Of(queue)));

  const auto killedAt = std::chrono::steady_clock::now();
  std::thread killer([&] { job.Kill(); });
  killer.join();
  while (!job.Finished() && std::chrono::steady_clock::now() - killedAt < std::chrono::seconds(10))
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const auto took = std::chrono::steady_clock::now() - killedAt;
  const DownloadJobResult& result = job.Finish();
  EXPECT_LT(took, std::chrono::seconds(3));
  EXPECT_EQ(result.Outcome(), "aborted");
  EXPECT_EQ(result.transfer.code, kJobAborted);
  EXPECT_TRUE(probe.TryAcquire(PrinterTarget::Of(queue)));
  std::vector<HistoryEntry> rows;
  ASSERT_FALSE(DownloadHistory(dir + "/history.sqlite").Read({}, rows).Failed());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].result, kJobAborted);
  EXPECT_EQ(rows[0].printer, queue);
  probe.Release();
  DeleteQueue(queue);
}

}  // namespace
