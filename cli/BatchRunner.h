#pragma once
// Runs a set of download jobs: at most a given number at a time, each on
// its own output thread, never two to the same printer (the job's printer
// lock, which the windowed program takes as well). The jobs own the
// download; the runner only schedules them and draws the bar. Ctrl+C
// kills every running job and starts no new one.

#include <functional>

#include "core/command/DownloadJob.h"

namespace cli {

class ProgressBar;

class BatchRunner {
 public:
  BatchRunner(int jobs, ProgressBar& bar);

  // Runs the jobs as they become ready: next() gives the next job whose
  // checks passed, or nullptr when none is ready yet; more() tells whether
  // any may still come. next() reports the printers it does not hand out
  // (refused, skipped, aborted) itself. done is called on this thread for
  // each job once it is finished and recorded (also for one that never
  // started: busy, or handed out as Ctrl+C came).
  void RunFed(const std::function<quillon::DownloadJob*()>& next,
              const std::function<bool()>& more,
              const std::function<void(quillon::DownloadJob&)>& done);

 private:
  // Finishes and reports the jobs whose transfers have ended.
  void Reap(std::vector<quillon::DownloadJob*>& running,
            const std::function<void(quillon::DownloadJob&)>& report);
  void DrawBar(const std::vector<quillon::DownloadJob*>& running);

  int jobs_;
  ProgressBar& bar_;
};

}  // namespace cli
