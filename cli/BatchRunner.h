#pragma once
// Runs the transfers of a download: each on its own output thread, at most
// a given number at a time, never two to the same printer (the printer
// lock, which the windowed program takes as well). Ctrl+C aborts every
// running transfer the way the progress window's button does and starts
// no new one.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliSink.h"
#include "core/app/PrinterLock.h"
#include "core/transfer/TransferRequest.h"

class TPrintThread;
namespace platform { class QueueHold; }

namespace cli {

class ProgressBar;

struct Transfer {
  Transfer();
  ~Transfer();
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  // What the output thread sends, and to which printer.
  TransferRequest request;

  // Filled by the runner.
  bool started = false;
  bool busy = false;  // the printer's lock was held by another download
  TransferResult result;
  double seconds = 0;

  CliSink sink;
  std::unique_ptr<TPrintThread> thread;
  // With request.keepHoldAfterTransfer: the queue's hold after a success,
  // kept past the thread; resetting it (after the restart was verified)
  // lets the queue's other jobs print.
  std::unique_ptr<platform::QueueHold> queueHold;
  TPrinterLock lock;
  std::chrono::steady_clock::time_point begin;
};

class BatchRunner {
 public:
  BatchRunner(int jobs, ProgressBar& bar);

  // Runs every transfer; done is called on this thread for each one as it
  // ends (also for one that never started: busy or aborted before its turn).
  void Run(const std::vector<Transfer*>& transfers, const std::function<void(Transfer&)>& done);

  // The same, with transfers that become ready one by one: next() gives
  // the next transfer whose checks passed, or nullptr when none is ready
  // yet; more() tells whether any may still come. next() reports the
  // printers it does not hand out (refused, skipped, aborted) itself.
  void RunFed(const std::function<Transfer*()>& next, const std::function<bool()>& more,
              const std::function<void(Transfer&)>& done);

  // Longest poll interval of the spooler job watch (the progress window's
  // 1000 ms).
  int WatchIntervalMs = 1000;

 private:
  bool Start(Transfer& t);
  void Finish(Transfer& t);
  // Ends and reports the transfers whose threads have finished.
  void Reap(std::vector<Transfer*>& running, const std::function<void(Transfer&)>& report);
  void DrawBar(const std::vector<Transfer*>& running);

  int jobs_;
  ProgressBar& bar_;
};

}  // namespace cli
