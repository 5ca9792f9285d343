// Upload throughput of QUILLON_FileTransfer against a running printer
// simulator: without a notify target, and with a callback that hands every
// notification to another thread and waits for its answer, as the progress
// dialog does. Prints one line per run: mode, bytes, seconds, MiB/s.
//   bench_net_upload ADDRESS FILE none|thread [runs]
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <thread>

#include "netlib/quillon.h"

namespace {

// A stand-in for the user-interface thread: answers each notification it
// is handed, one at a time, while the transfer thread waits.
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
  static intptr_t Proc(void* context, unsigned, uintptr_t wParam, intptr_t lParam) {
    return static_cast<AnswerThread*>(context)->Ask(wParam, lParam);
  }
  long long Answered() const { return answered_; }

 private:
  intptr_t Ask(uintptr_t wParam, intptr_t lParam) {
    std::unique_lock<std::mutex> lock(mutex_);
    wParam_ = wParam;
    lParam_ = lParam;
    pending_ = true;
    cv_.notify_all();
    cv_.wait(lock, [this] { return !pending_; });
    return answer_;
  }
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      cv_.wait(lock, [this] { return pending_ || stop_; });
      if (stop_) return;
      // The dialog would move its bar here; the answer is "go on".
      progress_ = wParam_ == NOTIFY_PROGRESS ? lParam_ : progress_;
      answer_ = 0;
      ++answered_;
      pending_ = false;
      cv_.notify_all();
    }
  }
  std::mutex mutex_;
  std::condition_variable cv_;
  bool pending_ = false;
  bool stop_ = false;
  uintptr_t wParam_ = 0;
  intptr_t lParam_ = 0;
  intptr_t progress_ = 0;
  intptr_t answer_ = 0;
  long long answered_ = 0;
  std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s ADDRESS FILE none|thread [runs]\n", argv[0]);
    return 2;
  }
  const char* address = argv[1];
  const char* file = argv[2];
  const bool threaded = std::strcmp(argv[3], "thread") == 0;
  const int runs = argc > 4 ? std::atoi(argv[4]) : 1;
  struct stat st {};
  if (stat(file, &st) != 0) return 2;
  for (int run = 0; run < runs; ++run) {
    AnswerThread ui;
    QUILLON_NotifyTarget target{&AnswerThread::Proc, &ui};
    const auto started = std::chrono::steady_clock::now();
    const int result = QUILLON_FileTransfer(threaded ? &target : nullptr, address, "vesta0", file);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (result != 0) {
      std::fprintf(stderr, "transfer failed: 0x%x\n", static_cast<unsigned>(result));
      return 1;
    }
    std::printf("%s %lld %.3f %.1f notifications=%lld\n", threaded ? "thread" : "none",
                static_cast<long long>(st.st_size), seconds,
                static_cast<double>(st.st_size) / seconds / 1048576.0, ui.Answered());
  }
  return 0;
}
