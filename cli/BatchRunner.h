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

#include "core/app/PrinterLock.h"
#include "cli/CliSink.h"

class TQUILLONApp;
class TPrintThread;

namespace cli {

class ProgressBar;

struct Transfer {
  Transfer();
  ~Transfer();
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  std::string printer;
  // The job's own application object: the output thread reads the
  // package, the printer and the initialisation items from it.
  TQUILLONApp* app = nullptr;

  // Filled by the runner.
  bool started = false;
  bool busy = false;  // the printer's lock was held by another download
  std::uint16_t result = 0;
  std::uint64_t bytes = 0;
  double seconds = 0;

  CliSink sink;
  std::unique_ptr<TPrintThread> thread;
  TPrinterLock lock;
  std::chrono::steady_clock::time_point begin;
};

class BatchRunner {
 public:
  BatchRunner(int jobs, ProgressBar& bar);

  // Runs every transfer; done is called on this thread for each one as it
  // ends (also for one that never started: busy or aborted before its turn).
  void Run(const std::vector<Transfer*>& transfers, const std::function<void(Transfer&)>& done);

  // Poll interval of the spooler job watch (the progress window's 1000 ms).
  int WatchIntervalMs = 1000;

 private:
  bool Start(Transfer& t);
  void Finish(Transfer& t);
  void DrawBar(const std::vector<Transfer*>& running);

  int jobs_;
  ProgressBar& bar_;
};

}  // namespace cli
