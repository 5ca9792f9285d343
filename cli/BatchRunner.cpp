#include "cli/BatchRunner.h"

#include <QThread>

#include <algorithm>

#include "cli/Output.h"
#include "cli/ProgressBar.h"
#include "cli/Signals.h"
#include "core/transfer/PrintThread.h"
#include "platform/Spooler.h"

namespace cli {
namespace {

// Ctrl+C can take a while to end a transfer (a printer that keeps its
// answer is waited for up to the read bound): say that it was heard.
void SayStopping(std::size_t running) {
  if (running > 0)
    VerboseLine("interrupted: stopping " + std::to_string(running) + " running transfer(s)");
}

}  // namespace

Transfer::Transfer() = default;

Transfer::~Transfer() {
  // The thread's destructor asks it to stop and waits for it.
  thread.reset();
  queueHold.reset();
}

BatchRunner::BatchRunner(int jobs, ProgressBar& bar) : jobs_(std::max(1, jobs)), bar_(bar) {}

bool BatchRunner::Start(Transfer& t) {
  t.begin = std::chrono::steady_clock::now();
  t.started = true;
  const TPrinterLock::Outcome lock = t.lock.Acquire(t.request.target);
  if (lock != TPrinterLock::Outcome::Taken) {
    t.busy = lock == TPrinterLock::Outcome::Busy;
    t.result = TransferResult();
    t.result.code = kJobPrinterOpen;
    t.result.detail = t.lock.Detail();
    return false;
  }
  t.thread = std::make_unique<TPrintThread>(t.request, t.sink);
  t.thread->WatchIntervalMs = WatchIntervalMs;
  t.thread->start();
  return true;
}

void BatchRunner::Finish(Transfer& t) {
  if (t.thread) {
    t.thread->wait();
    t.result = t.thread->Result();
    t.queueHold = t.thread->TakeQueueHold();
    t.thread.reset();
  }
  t.lock.Release();
  t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t.begin).count();
}

void BatchRunner::Reap(std::vector<Transfer*>& running,
                       const std::function<void(Transfer&)>& report) {
  for (auto it = running.begin(); it != running.end();) {
    Transfer& t = **it;
    if (t.thread->isFinished()) {
      Finish(t);
      report(t);
      it = running.erase(it);
    } else {
      ++it;
    }
  }
}

void BatchRunner::DrawBar(const std::vector<Transfer*>& running) {
  std::vector<ProgressBar::Item> items;
  for (const Transfer* t : running) items.push_back({t->request.printer, t->sink.Percent()});
  bar_.Draw(items);
}

void BatchRunner::Run(const std::vector<Transfer*>& transfers,
                      const std::function<void(Transfer&)>& done) {
  std::size_t next = 0;
  std::vector<Transfer*> running;
  bool aborting = false;
  const auto report = [&](Transfer& t) {
    bar_.Clear();
    done(t);
  };
  while (next < transfers.size() || !running.empty()) {
    if (Interrupted() && !aborting) {
      aborting = true;
      // The progress window's abort: the thread stops at its next block,
      // poll or library notification.
      for (Transfer* t : running) t->thread->Abort();
      SayStopping(running.size());
    }
    while (!aborting && next < transfers.size() && static_cast<int>(running.size()) < jobs_) {
      Transfer& t = *transfers[next++];
      if (Start(t)) {
        running.push_back(&t);
      } else {
        Finish(t);
        report(t);
      }
    }
    if (aborting) {
      // Those whose turn has not come never start.
      for (; next < transfers.size(); ++next) {
        Transfer& t = *transfers[next];
        t.begin = std::chrono::steady_clock::now();
        t.result = TransferResult();
        t.result.code = kJobAborted;
        t.result.detail = "not started";
        Finish(t);
        report(t);
      }
    }
    Reap(running, report);
    if (!running.empty()) {
      DrawBar(running);
      QThread::msleep(50);
    }
  }
  bar_.Clear();
}

void BatchRunner::RunFed(const std::function<Transfer*()>& next,
                         const std::function<bool()>& more,
                         const std::function<void(Transfer&)>& done) {
  std::vector<Transfer*> running;
  bool aborting = false;
  const auto report = [&](Transfer& t) {
    bar_.Clear();
    done(t);
  };
  while (more() || !running.empty()) {
    if (Interrupted() && !aborting) {
      aborting = true;
      for (Transfer* t : running) t->thread->Abort();
      SayStopping(running.size());
    }
    while (more() && (aborting || static_cast<int>(running.size()) < jobs_)) {
      Transfer* t = next();
      if (!t) break;
      if (aborting) {
        // Handed out as Ctrl+C came: it never starts.
        t->begin = std::chrono::steady_clock::now();
        t->result = TransferResult();
        t->result.code = kJobAborted;
        t->result.detail = "not started";
        Finish(*t);
        report(*t);
      } else if (Start(*t)) {
        running.push_back(t);
      } else {
        Finish(*t);
        report(*t);
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
