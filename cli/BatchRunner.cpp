#include "cli/BatchRunner.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "cli/Output.h"
#include "cli/ProgressBar.h"
#include "cli/Signals.h"

using quillon::DownloadJob;

namespace cli {
namespace {

// Ctrl+C can take a while to end a transfer (a printer that keeps its
// answer is waited for up to the read bound): say that it was heard.
void SayStopping(std::size_t running) {
  if (running > 0)
    VerboseLine("interrupted: stopping " + std::to_string(running) + " running transfer(s)");
}

}  // namespace

BatchRunner::BatchRunner(int jobs, ProgressBar& bar, WavePolicy waves)
    : jobs_(std::max(1, jobs)), bar_(bar), waves_(waves) {}

void BatchRunner::SetPending(std::function<bool()> pending, std::function<std::string()> status) {
  pending_ = std::move(pending);
  status_ = std::move(status);
}

void BatchRunner::Decided(const DownloadJob* job, bool failed) {
  if (job) decided_.insert(job);
  if (!failed) return;
  ++failures_;
  if (job && canaries_.count(job)) canaryFailed_ = true;
  if (!stop_.empty()) return;
  if (canaryFailed_) {
    stop_ = "canary_failed";
    VerboseLine("a printer of the canary wave failed: no other transfer starts");
  } else if (waves_.maxFailures > 0 && failures_ >= waves_.maxFailures) {
    stop_ = "max_failures";
    VerboseLine(std::to_string(failures_) + " printer(s) failed: no other transfer starts");
  }
}

void BatchRunner::Wake() { waker_->Wake(); }

void BatchRunner::Waker::Wake() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    woken = true;
  }
  cv.notify_one();
}

void BatchRunner::Waker::Wait(int ms) {
  std::unique_lock<std::mutex> lock(mutex);
  cv.wait_for(lock, std::chrono::milliseconds(std::max(1, ms)), [this] { return woken; });
  woken = false;
}

bool BatchRunner::MayStart() {
  if (waves_.canary <= 0 || static_cast<int>(canaries_.size()) < waves_.canary) return true;
  for (const DownloadJob* job : canaries_) {
    if (!decided_.count(job)) return false;
  }
  return true;
}

void BatchRunner::Reap(std::vector<DownloadJob*>& running,
                       const std::function<void(DownloadJob&)>& report) {
  for (auto it = running.begin(); it != running.end();) {
    DownloadJob& job = **it;
    if (job.Finished()) {
      job.Finish();
      report(job);
      it = running.erase(it);
    } else {
      ++it;
    }
  }
}

void BatchRunner::DrawBar(const std::vector<DownloadJob*>& running) {
  std::vector<ProgressBar::Item> items;
  for (const DownloadJob* job : running) items.push_back({job->Printer(), job->Progress().percent});
  bar_.Draw(items, status_ ? status_() : std::string());
}

void BatchRunner::RunFed(const std::function<DownloadJob*()>& next,
                         const std::function<bool()>& more,
                         const std::function<void(DownloadJob&)>& done) {
  std::vector<DownloadJob*> running;
  bool aborting = false;
  const auto report = [&](DownloadJob& job) {
    bar_.Clear();
    done(job);
  };
  // Polled once every round, whatever else is left: a verification that
  // ended may decide the canary wave that holds the rest back.
  const auto pending = [&] { return pending_ && pending_(); };
  bool waiting = pending();
  while (more() || !running.empty() || waiting) {
    if (Interrupted() && !aborting) {
      aborting = true;
      for (DownloadJob* job : running) job->Kill();
      SayStopping(running.size());
    }
    // A stopped run hands out the rest at once: next() ends them unstarted.
    const bool stopped = aborting || !stop_.empty();
    while (more() && (stopped || (static_cast<int>(running.size()) < jobs_ && MayStart()))) {
      DownloadJob* job = next();
      if (!job) break;
      if (stopped) {
        // Handed out as Ctrl+C came (or the run stopped): it never starts.
        job->EndUnstarted("not started");
        report(*job);
        continue;
      }
      // Its end is reaped at once, not at the next round.
      job->OnTransferEnded([waker = waker_] { waker->Wake(); });
      if (job->Start()) {
        if (static_cast<int>(canaries_.size()) < waves_.canary) canaries_.insert(job);
        running.push_back(job);
      } else {
        report(*job);
      }
    }
    Reap(running, report);
    waiting = pending();
    if (!running.empty() || more() || waiting) {
      DrawBar(running);
      waker_->Wait(PauseMs);
    }
  }
  bar_.Clear();
}

}  // namespace cli
