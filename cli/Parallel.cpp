#include "cli/Parallel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "cli/Signals.h"

namespace cli {

void RunParallel(std::size_t count, int jobs, const std::function<void(std::size_t)>& work,
                 const std::function<void(std::size_t, bool)>& done,
                 const std::function<void(std::size_t)>& tick) {
  enum State : char { kWaiting, kRan, kSkipped };
  std::vector<State> state(count, kWaiting);
  std::size_t finished = 0;
  std::mutex mutex;
  std::condition_variable changed;
  std::atomic<std::size_t> next{0};

  auto worker = [&] {
    for (;;) {
      const std::size_t i = next++;
      if (i >= count) return;
      const bool skip = Interrupted();
      if (!skip) work(i);
      std::lock_guard<std::mutex> lock(mutex);
      state[i] = skip ? kSkipped : kRan;
      ++finished;
      changed.notify_one();
    }
  };
  std::vector<std::thread> threads;
  const std::size_t n = std::min<std::size_t>(count, static_cast<std::size_t>(std::max(jobs, 1)));
  for (std::size_t t = 0; t < n; ++t) threads.emplace_back(worker);

  std::size_t reported = 0;
  std::unique_lock<std::mutex> lock(mutex);
  while (reported < count) {
    changed.wait_for(lock, std::chrono::milliseconds(200),
                     [&] { return state[reported] != kWaiting; });
    while (reported < count && state[reported] != kWaiting) {
      const bool ran = state[reported] == kRan;
      const std::size_t i = reported++;
      lock.unlock();
      done(i, ran);
      lock.lock();
    }
    if (tick) {
      const std::size_t f = finished;
      lock.unlock();
      tick(f);
      lock.lock();
    }
  }
  lock.unlock();
  for (std::thread& t : threads) t.join();
}

BackgroundWork::BackgroundWork(std::size_t count, int jobs, std::function<void(std::size_t)> work,
                               std::function<void(const BackgroundWork&, std::size_t)> ended)
    : work_(std::move(work)),
      told_(std::move(ended)),
      ended_(new std::atomic<bool>[count]),
      count_(count) {
  for (std::size_t i = 0; i < count; ++i) ended_[i] = false;
  const std::size_t n = std::min<std::size_t>(count, static_cast<std::size_t>(std::max(jobs, 1)));
  for (std::size_t t = 0; t < n; ++t) {
    threads_.emplace_back([this] {
      for (;;) {
        const std::size_t i = next_++;
        if (i >= count_ || stopped_.load()) return;
        if (!Interrupted()) work_(i);
        ended_[i].store(true, std::memory_order_release);
        if (told_) told_(*this, i);
      }
    });
  }
}

BackgroundWork::~BackgroundWork() {
  for (std::thread& t : threads_)
    if (t.joinable()) t.join();
}

void BackgroundWork::Stop() {
  stopped_ = true;
  for (std::thread& t : threads_)
    if (t.joinable()) t.join();
}

bool BackgroundWork::Ended(std::size_t i) const {
  return i < count_ && ended_[i].load(std::memory_order_acquire);
}

}  // namespace cli
