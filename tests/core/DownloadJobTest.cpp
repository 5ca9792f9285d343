// The download job without a printer: the transfer stood in for, the lock
// and the records real. What the job promises its front ends: the record
// exists when it returns, a busy printer is recorded and never sent to,
// a job that never started is recorded as such, and the progress is the
// output thread's as it told it.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/app/PrinterLock.h"
#include "core/command/DownloadJob.h"
#include "core/history/DownloadHistory.h"
#include "core/transfer/PrintThread.h"
#include "tests/support/TestEnv.h"

using namespace quillon;

namespace {

class DownloadJobTest : public ::testing::Test {
 protected:
  DownloadJobRequest Request(const std::string& printer) {
    DownloadJobRequest r;
    r.transfer.target = PrinterTarget::Of(printer);
    r.transfer.printer = r.transfer.target.Canonical();
    r.inputs.fileName = r.inputs.packagePath = "/pkg/FW.RXF";
    r.inputs.packageState = "Firmware 2.00";
    r.inputs.port = "socket://x";
    r.model = "HALVORN KV3";
    r.logPath = dir_ + "/DownLoad.log";
    r.historyPath = dir_ + "/history.sqlite";
    r.versionBefore = "1.00";
    return r;
  }
  std::vector<HistoryEntry> History() const {
    std::vector<HistoryEntry> rows;
    EXPECT_FALSE(DownloadHistory(dir_ + "/history.sqlite").Read({}, rows).Failed());
    return rows;
  }
  std::string LogText() const { return quillon_test::ReadFileBytes(dir_ + "/DownLoad.log"); }

  std::string dir_ = quillon_test::MakeTestDir("job");
};

TEST_F(DownloadJobTest, TheRecordIsWrittenWhenTheJobEndsAndTheLockHeldOnlyWhileItRuns) {
  const std::string printer = "ftp://127.0.0.1/vesta0";
  DownloadJobRequest r = Request(printer);
  bool lockedDuring = false;
  r.runTransfer = [&](const TransferRequest& t) {
    EXPECT_EQ(t.printer, printer);
    PrinterLock probe;
    lockedDuring = !probe.TryAcquire(PrinterTarget::Of(printer));
    TransferResult done;
    done.code = kJobDone;
    done.bytesSent = 1234;
    return done;
  };
  DownloadJob job(std::move(r));
  const DownloadJobResult& result = job.Run();
  EXPECT_TRUE(lockedDuring);
  EXPECT_TRUE(result.started);
  EXPECT_FALSE(result.busy);
  EXPECT_EQ(result.Outcome(), "succeeded");
  EXPECT_TRUE(result.Recorded()) << result.RecordError();
  EXPECT_GE(result.historyRow, 0);
  EXPECT_NE(LogText().find(printer + ",socket://x"), std::string::npos) << LogText();
  const auto rows = History();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].printer, printer);
  EXPECT_EQ(rows[0].bytesSent, 1234);
  EXPECT_EQ(rows[0].model, "HALVORN KV3");
  EXPECT_EQ(rows[0].versionBefore, std::optional<std::string>("1.00"));
  PrinterLock after;
  EXPECT_TRUE(after.TryAcquire(PrinterTarget::Of(printer)));
}

TEST_F(DownloadJobTest, ABusyPrinterIsRecordedAndNeverSentTo) {
  const std::string printer = "ftp://127.0.0.2/vesta0";
  PrinterLock other;
  ASSERT_TRUE(other.TryAcquire(PrinterTarget::Of(printer)));
  DownloadJobRequest r = Request(printer);
  int transfers = 0;
  r.runTransfer = [&](const TransferRequest&) {
    ++transfers;
    return TransferResult();
  };
  DownloadJob job(std::move(r));
  EXPECT_FALSE(job.Start());
  EXPECT_TRUE(job.Finished());
  EXPECT_EQ(transfers, 0);
  EXPECT_TRUE(job.Result().busy);
  EXPECT_EQ(job.Result().Outcome(), "busy");
  EXPECT_EQ(job.Result().transfer.code, kJobPrinterOpen);
  EXPECT_FALSE(job.Result().transfer.detail.empty());
  const auto rows = History();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].result, kJobPrinterOpen);
  EXPECT_TRUE(LogText().empty());
}

TEST_F(DownloadJobTest, AJobThatNeverStartedAndARecordThatFailedAreTold) {
  DownloadJob unstarted(Request("ftp://127.0.0.3/vesta0"));
  const DownloadJobResult& r = unstarted.EndUnstarted("not started");
  EXPECT_FALSE(r.started);
  EXPECT_EQ(r.Outcome(), "not_started");
  EXPECT_EQ(r.transfer.code, kJobAborted);
  ASSERT_EQ(History().size(), 1u);
  EXPECT_EQ(History()[0].detail, "not started");

  // A history that is no database and a log whose folder is a file.
  DownloadJobRequest bad = Request("ftp://127.0.0.4/vesta0");
  ASSERT_TRUE(quillon_test::WriteFileBytes(dir_ + "/blocker", "x"));
  bad.logPath = dir_ + "/blocker/DownLoad.log";
  bad.historyPath = dir_ + "/blocker/history.sqlite";
  bad.runTransfer = [](const TransferRequest&) {
    TransferResult done;
    done.code = kJobDone;
    return done;
  };
  DownloadJob job(std::move(bad));
  const DownloadJobResult& sent = job.Run();
  EXPECT_EQ(sent.Outcome(), "succeeded");
  EXPECT_FALSE(sent.Recorded());
  EXPECT_FALSE(sent.logError.empty());
  EXPECT_FALSE(sent.historyError.empty());
  EXPECT_EQ(sent.historyRow, -1);
  EXPECT_EQ(sent.RecordError().rfind("DownLoad.log: ", 0), 0u) << sent.RecordError();
}

// Whoever waits for the job is told by the output thread as its transfer
// ends, and may finish it at once instead of looking again later.
TEST_F(DownloadJobTest, TheOutputThreadTellsTheEndOfItsTransfer) {
  DownloadJobRequest r = Request("ftp://127.0.0.5/vesta0");
  // No package: the output thread ends at once, failed.
  DownloadJob job(std::move(r));
  std::mutex mutex;
  std::condition_variable told;
  int calls = 0;
  bool finishedWhenTold = false;
  std::thread::id teller;
  job.OnTransferEnded([&] {
    std::lock_guard<std::mutex> lock(mutex);
    ++calls;
    teller = std::this_thread::get_id();
    told.notify_all();
  });
  ASSERT_TRUE(job.Start());
  {
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(told.wait_for(lock, std::chrono::seconds(30), [&] { return calls > 0; }));
    finishedWhenTold = job.Finished();
  }
  EXPECT_TRUE(finishedWhenTold);
  EXPECT_NE(teller, std::this_thread::get_id());
  const DownloadJobResult& result = job.Finish();
  EXPECT_EQ(result.transfer.code, kJobTempFile);
  EXPECT_EQ(result.transfer.detail, "no package is open");
  EXPECT_EQ(calls, 1);
  ASSERT_EQ(History().size(), 1u);
  EXPECT_EQ(History()[0].result, kJobTempFile);
}

}  // namespace
