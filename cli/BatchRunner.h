#pragma once
// Runs a set of download jobs: at most a given number at a time, each on
// its own output thread, never two to the same printer (the job's printer
// lock, which the windowed program takes as well). The jobs own the
// download; the runner only schedules them and draws the bar. Ctrl+C
// kills every running job and starts no new one.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "core/command/DownloadJob.h"

namespace cli {

class ProgressBar;

// Waves that stop themselves. canary: the first that many transfers run
// (and are decided: verified, when that is asked) before any other starts;
// one failure among them starts nothing else. maxFailures: once that many
// printers of the run failed (canary included), no new transfer starts.
// What a failure is, is the caller's: it tells through Decided().
struct WavePolicy {
  int canary = 0;       // 0: no canary wave
  int maxFailures = 0;  // 0: no limit
};

class BatchRunner {
 public:
  BatchRunner(int jobs, ProgressBar& bar, WavePolicy waves = WavePolicy());

  // A printer's outcome is final (its transfer and its verification are
  // over); job is nullptr for a printer that was never handed out as a job
  // (unreachable, ...). failed counts it against the limits.
  void Decided(const quillon::DownloadJob* job, bool failed);
  // Why no new transfer starts: "canary_failed", "max_failures", or ""
  // while they do. Once set, next() is still called for every printer
  // left, which it should end unstarted without asking anything.
  const std::string& StopReason() const { return stop_; }
  // Work that outlives the transfers (verifications): polled every round,
  // the run goes on while it returns true. status gives the run's state
  // for the line beside the transfers' progress.
  void SetPending(std::function<bool()> pending, std::function<std::string()> status);

  // Runs the jobs as they become ready: next() gives the next job whose
  // checks passed, or nullptr when none is ready yet; more() tells whether
  // any may still come. next() reports the printers it does not hand out
  // (refused, skipped, aborted) itself. done is called on this thread for
  // each job once it is finished and recorded (also for one that never
  // started: busy, or handed out as Ctrl+C came).
  void RunFed(const std::function<quillon::DownloadJob*()>& next,
              const std::function<bool()>& more,
              const std::function<void(quillon::DownloadJob&)>& done);
  // Ends the pause between two rounds now: what next() waits for (a
  // printer's checks) is in. A job's end wakes the runner by itself. Any
  // thread.
  void Wake();
  // While the canary wave is still short of its printers: they are taken
  // in the batch's order, not in the order their checks end.
  bool FillingCanary() const {
    return waves_.canary > 0 && static_cast<int>(canaries_.size()) < waves_.canary && stop_.empty();
  }
  // The longest pause between two rounds (the bar's redraw, Ctrl+C, the
  // pending work's poll).
  int PauseMs = 50;

 private:
  // Finishes and reports the jobs whose transfers have ended.
  void Reap(std::vector<quillon::DownloadJob*>& running,
            const std::function<void(quillon::DownloadJob&)>& report);
  void DrawBar(const std::vector<quillon::DownloadJob*>& running);

  // Whether a new transfer may start now (the canary wave is decided).
  bool MayStart();

  int jobs_;
  ProgressBar& bar_;
  WavePolicy waves_;
  std::string stop_;
  std::set<const quillon::DownloadJob*> canaries_;  // started in the canary wave
  std::set<const quillon::DownloadJob*> decided_;
  int failures_ = 0;
  bool canaryFailed_ = false;
  std::function<bool()> pending_;
  std::function<std::string()> status_;
  // Shared with the jobs' end hooks, which may outlive the runner.
  struct Waker {
    std::mutex mutex;
    std::condition_variable cv;
    bool woken = false;
    void Wake();
    void Wait(int ms);
  };
  std::shared_ptr<Waker> waker_ = std::make_shared<Waker>();
};

}  // namespace cli
