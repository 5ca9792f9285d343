#include "cli/BatchRunner.h"

#include <QThread>

#include <algorithm>
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

BatchRunner::BatchRunner(int jobs, ProgressBar& bar) : jobs_(std::max(1, jobs)), bar_(bar) {}

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
  bar_.Draw(items);
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
  while (more() || !running.empty()) {
    if (Interrupted() && !aborting) {
      aborting = true;
      for (DownloadJob* job : running) job->Kill();
      SayStopping(running.size());
    }
    while (more() && (aborting || static_cast<int>(running.size()) < jobs_)) {
      DownloadJob* job = next();
      if (!job) break;
      if (aborting) {
        // Handed out as Ctrl+C came: it never starts.
        job->EndUnstarted("not started");
        report(*job);
      } else if (job->Start()) {
        running.push_back(job);
      } else {
        report(*job);
      }
    }
    Reap(running, report);
    if (!running.empty() || more()) {
      if (!running.empty()) DrawBar(running);
      QThread::msleep(50);
    }
  }
  bar_.Clear();
}

}  // namespace cli
