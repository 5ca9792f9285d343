#pragma once
// One download in the background: builds the job file, sends it as a raw
// job through the spooler and follows the job until the printer has it, or
// hands it to the printer's FTP server through the network library. Works
// from its transfer request alone and leaves a transfer result.
// Abort: Abort() (or requestInterruption()).

#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "core/transfer/TransferRequest.h"

namespace quillon {
class JobFileAhead;
class PrintSink;
}  // namespace quillon
namespace platform {
class PrinterHandle;
class QueueHold;
}

class TPrintThread : public QThread {
  Q_OBJECT
 public:
  TPrintThread(quillon::TransferRequest request, quillon::PrintSink& sink,
               QObject* parent = nullptr);
  ~TPrintThread() override;

  // The body of the thread; run() calls it.
  void Execute();
  // Asks the transfer to stop: the spooler route at its next block or poll,
  // the FTP route at the library's next notification, which comes at least
  // every 200 ms while it waits. Once asked, a transfer that did not
  // succeed ends as aborted, whatever the library said, with the bytes it
  // had handed over. Any thread.
  void Abort();
  bool AbortRequested() const;
  // The outcome; complete once the thread has ended.
  const quillon::TransferResult& Result() const { return result_; }
  const quillon::TransferRequest& Request() const { return request_; }

  // The job watch polls soon after the job is handed over, then less and
  // less often, at most every WatchIntervalMs.
  int FirstWatchIntervalMs = 50;
  int WatchIntervalMs = 1000;
  // A server that answers an ask for the job's events sooner than this
  // did not hold it until an event came: the next ask waits a while.
  int EventHoldMs = 100;
  // A print server that has not answered about the job for this long ends
  // the watch with a failure instead of watching for ever.
  int NoAnswerLimitMs = 60000;
  // A held queue's job of others that is printing may finish within this
  // long; after it the update is refused, nothing sent.
  int HoldWaitMs = 60000;

  // The package's job file written ahead (may be null): sent when it is
  // the stream this transfer's choices give, else the thread builds its
  // own. Set before start().
  std::shared_ptr<quillon::JobFileAhead> PreparedJob;

  // With keepHoldAfterTransfer: the queue's hold after a successful
  // transfer (null otherwise, or once taken). Releasing it, or letting it
  // go, lets the queue's other jobs print; the thread's end releases a
  // hold nobody took.
  std::unique_ptr<platform::QueueHold> TakeQueueHold();

  // The pause before the next ask for events of a server that does not
  // hold an ask: a tenth of the time since the job last changed, from
  // firstMs up to a quarter of watchMs, so that the wait after the job's
  // end stays a small part of its time in its last state.
  static int EventAskPauseMs(std::chrono::milliseconds sinceChange, int firstMs, int watchMs);

 protected:
  void run() override;

 private:
  static std::intptr_t NotifyProc(void* context, unsigned int message, std::uintptr_t wParam,
                                  std::intptr_t lParam);
  std::intptr_t OnNotify(std::uintptr_t wParam, std::intptr_t lParam);
  bool Terminated() const { return AbortRequested(); }
  void SendByFtp(const quillon::PrinterTarget& target, const std::string& jobFile);
  void SendBySpooler(const std::string& target, const std::string& jobFile,
                     std::uint32_t length);
  // Holds the queue and waits (bounded) for a job of others that prints;
  // false with the failure set (the queue released) when it cannot.
  bool HoldQueue(platform::QueueHold& hold, const std::string& queue);
  void SpoolJob(platform::PrinterHandle& printer, const std::string& jobFile, int& jobId,
                bool ahead);
  void WatchJob(platform::PrinterHandle& printer, int jobId, std::uint32_t total,
                platform::QueueHold* hold);
  void Fail(std::uint16_t code, std::string detail);
  // Waits up to ms, returning early when an abort is asked for.
  void Pause(int ms);
  void SetPercent(std::uint64_t done, std::uint64_t total);

  quillon::TransferRequest request_;
  quillon::PrintSink& sink_;
  quillon::TransferResult result_;
  std::atomic<bool> abort_{false};
  int lastPercent_ = -1;
  // The library's progress: its first notification carries the length,
  // the later ones the bytes sent so far.
  bool sawFirstProgress_ = false;
  // The library told of its login: a failure to connect comes before it.
  bool loggedIn_ = false;
  std::chrono::steady_clock::time_point lastProgressPost_{};
  std::unique_ptr<platform::QueueHold> queueHold_;
};
