// Upload throughput of QUILLON_FileTransfer against a running printer
// simulator. Modes:
//   none       no notify target
//   thread     a callback that answers from an atomic abort flag and posts
//              progress to another thread without waiting, as the output
//              thread does for the progress dialog
//   roundtrip  a callback that hands every notification to another thread
//              and waits for its answer (the old way, for comparison)
// Prints one line per run: mode, bytes, seconds, MiB/s, notifications, and
// how many progress updates the other thread took.
//   bench_net_upload ADDRESS FILE none|thread|roundtrip [runs]
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "netlib/quillon.h"

namespace {

// A stand-in for the user-interface thread: takes the latest progress
// whenever it gets to it. The library's thread never waits for it.
class ProgressThread {
 public:
  ProgressThread() : thread_([this] { Run(); }) {}
  ~ProgressThread() {
    stop_ = true;
    cv_.notify_all();
    thread_.join();
  }
  static intptr_t Proc(void* context, unsigned, uintptr_t wParam, intptr_t lParam) {
    auto* self = static_cast<ProgressThread*>(context);
    ++self->notifications_;
    if (wParam == NOTIFY_PROGRESS) {
      self->latest_.store(lParam, std::memory_order_relaxed);
      // Wake the other thread only when it has taken the last post.
      if (!self->posted_.exchange(true, std::memory_order_acq_rel)) self->cv_.notify_one();
    }
    return self->abort_.load(std::memory_order_relaxed) ? 1 : 0;
  }
  long long Notifications() const { return notifications_; }
  long long Updates() const { return updates_; }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
      cv_.wait_for(lock, std::chrono::milliseconds(30), [this] { return posted_.load() || stop_.load(); });
      if (posted_.exchange(false)) {
        shown_ = latest_.load(std::memory_order_relaxed);  // the bar would move here
        ++updates_;
        // A person sees a few dozen updates a second.
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        lock.lock();
      }
    }
  }
  std::atomic<bool> abort_{false};
  std::atomic<bool> posted_{false};
  std::atomic<bool> stop_{false};
  std::atomic<intptr_t> latest_{0};
  std::atomic<long long> notifications_{0};
  intptr_t shown_ = 0;
  long long updates_ = 0;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::thread thread_;
};

// Answers each notification on another thread while the library waits.
class AnswerThread {
 public:
  AnswerThread() : thread_([this] { Run(); }) {}
  ~AnswerThread() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  static intptr_t Proc(void* context, unsigned, uintptr_t, intptr_t) {
    auto* self = static_cast<AnswerThread*>(context);
    std::unique_lock<std::mutex> lock(self->mutex_);
    self->pending_ = true;
    self->cv_.notify_all();
    self->cv_.wait(lock, [self] { return !self->pending_; });
    return 0;
  }
  long long Answered() const { return answered_; }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      cv_.wait(lock, [this] { return pending_ || stop_; });
      if (stop_) return;
      ++answered_;
      pending_ = false;
      cv_.notify_all();
    }
  }
  std::mutex mutex_;
  std::condition_variable cv_;
  bool pending_ = false;
  bool stop_ = false;
  long long answered_ = 0;
  std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s ADDRESS FILE none|thread|roundtrip [runs]\n", argv[0]);
    return 2;
  }
  const char* address = argv[1];
  const char* file = argv[2];
  const std::string mode = argv[3];
  const int runs = argc > 4 ? std::atoi(argv[4]) : 1;
  struct stat st {};
  if (stat(file, &st) != 0) return 2;
  for (int run = 0; run < runs; ++run) {
    ProgressThread progress;
    AnswerThread answer;
    QUILLON_NotifyTarget posting{&ProgressThread::Proc, &progress};
    QUILLON_NotifyTarget waiting{&AnswerThread::Proc, &answer};
    const QUILLON_NotifyTarget* target =
        mode == "thread" ? &posting : mode == "roundtrip" ? &waiting : nullptr;
    const auto started = std::chrono::steady_clock::now();
    const int result = QUILLON_FileTransfer(target, address, "vesta0", file);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (result != 0) {
      char detail[256] = {};
      QUILLON_GetLastErrorDetail(detail, sizeof(detail));
      std::fprintf(stderr, "transfer failed: 0x%x %s\n", static_cast<unsigned>(result), detail);
      return 1;
    }
    std::printf("%s %lld %.3f %.1f notifications=%lld updates=%lld\n", mode.c_str(),
                static_cast<long long>(st.st_size), seconds,
                static_cast<double>(st.st_size) / seconds / 1048576.0,
                mode == "roundtrip" ? answer.Answered() : progress.Notifications(),
                progress.Updates());
  }
  return 0;
}
