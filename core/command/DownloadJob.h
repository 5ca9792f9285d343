#pragma once
// One download to one printer, as every front end runs it: the window, its
// unattended run and quillon-cli. Start() takes the printer's lock and
// starts the output thread; Finish() waits for it, releases the lock,
// writes the record (DownLoad.log on success, the history always) and
// keeps the result, before any front end shows or prints anything. Kill()
// may be called from any thread. Progress has one producer, the output
// thread, through the sink seam; the job keeps the last step, percent and
// byte count for whoever draws them. Nothing here prints: causes are in
// the result.
#include <QDateTime>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/app/PrinterLock.h"
#include "core/command/DownloadCommand.h"
#include "core/transfer/PrintSink.h"
#include "core/transfer/TransferRequest.h"
#include "platform/Error.h"

class TPrintThread;

namespace platform { class QueueHold; }

namespace quillon {

class JobFileAhead;

struct DownloadJobRequest {
  TransferRequest transfer;  // what is sent, and to which printer
  // The printer locked and recorded; empty: transfer.printer.
  std::string printer;
  DownloadInputs inputs;    // the package's path and state, the port: for the records
  std::string model;         // the printer's model, for the history
  std::optional<std::string> versionBefore;  // what its console reported before
  std::string identitySource;  // who told the model and version ("" none)
  std::string logPath;       // DownLoad.log; empty: its default
  std::string historyPath;   // empty: the history's default
  std::function<QDateTime()> now;  // unset: the local time now
  int watchIntervalMs = 1000;      // the spooler watch's longest poll
  // The package's job file written ahead, shared by the run's transfers
  // (null: the output thread writes its own).
  std::shared_ptr<JobFileAhead> preparedJob;
  // Runs the transfer in place of the output thread and blocks until it
  // ended (the window's progress dialog, tests); Kill() is then its own.
  std::function<TransferResult(const TransferRequest&)> runTransfer;
};

struct DownloadJobResult {
  TransferResult transfer;  // code, detail, bytes handed over, duration
  bool started = false;     // Start() ran (a job ended before its turn did not)
  bool busy = false;        // another download held the printer's lock
  std::string logError;      // why DownLoad.log was not written ("" written or not due)
  std::string historyError;  // why the history row was not written
  std::int64_t historyRow = -1;

  bool Recorded() const { return logError.empty() && historyError.empty(); }
  // The two causes in one text, "" when recorded.
  std::string RecordError() const;
  // succeeded, failed, aborted, not_started, busy
  std::string Outcome() const;
};

// The step, progress and job length as the output thread last told them.
struct DownloadProgress {
  int step = 0;     // the string number of the step shown
  int percent = 0;  // 0..100
  std::uint64_t totalBytes = 0;
};

class DownloadJob {
 public:
  // sink: a view of the progress besides the job's own (may be nullptr).
  explicit DownloadJob(DownloadJobRequest request, PrintSink* sink = nullptr);
  ~DownloadJob();
  DownloadJob(const DownloadJob&) = delete;
  DownloadJob& operator=(const DownloadJob&) = delete;

  // Takes the lock and starts the transfer. false: the lock was not taken
  // (Busy or its failure); the job is then finished and recorded.
  bool Start();
  // Whether Finish() would return at once.
  bool Finished() const;
  // Called on the output thread as soon as its transfer has ended, before
  // Finish(), so that a caller waiting for it need not poll. Set before
  // Start(); not called for runTransfer.
  void OnTransferEnded(std::function<void()> ended) { transferEnded_ = std::move(ended); }
  // Waits for the transfer, releases the lock, records; once.
  const DownloadJobResult& Finish();
  // Start() and Finish().
  const DownloadJobResult& Run();
  // Ends a job that never started (aborted before its turn); recorded.
  const DownloadJobResult& EndUnstarted(const std::string& why);
  // Asks the transfer to stop at once; any thread, any time.
  void Kill();
  bool Killed() const { return killed_; }

  const DownloadJobRequest& Request() const { return request_; }
  const std::string& Printer() const;
  const DownloadJobResult& Result() const { return result_; }
  DownloadProgress Progress() const;
  // Lets a spooler queue held past a successful transfer
  // (keepHoldAfterTransfer) print again: after the restart was verified.
  // The job's end releases it otherwise.
  void ReleaseQueueHold();

 private:
  class Relay;
  void Record();

  DownloadJobRequest request_;
  std::unique_ptr<Relay> relay_;
  mutable std::mutex threadMutex_;
  std::unique_ptr<TPrintThread> thread_;
  std::unique_ptr<platform::QueueHold> queueHold_;
  PrinterLock lock_;
  std::chrono::steady_clock::time_point begin_;
  DownloadJobResult result_;
  bool finished_ = false;
  std::atomic<bool> killed_{false};
  std::function<void()> transferEnded_;
  std::atomic<bool> threadEnded_{false};
};

// The records of one attempt, for the job and for callers that record
// apart from one (tests, the window's own wrappers).
platform::Error WriteDownloadLogEntry(const std::string& logPath, const QDateTime& when,
                                      const DownloadInputs& in);
platform::Error RecordDownloadAttempt(const std::string& historyPath, const QDateTime& when,
                                      const DownloadInputs& in, const TransferRequest& request,
                                      const std::string& model, const TransferResult& result,
                                      const std::optional<std::string>& versionBefore,
                                      std::int64_t* rowId,
                                      const std::string& identitySource = std::string());

}  // namespace quillon
