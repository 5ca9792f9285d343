#pragma once
// A stand-in for the progress dialog: records what the output thread tells
// it, the library's notifications included, and may ask for an abort.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/transfer/PrintSink.h"
#include "netlib/quillon.h"

namespace quillon_test {

class PrintSinkRecorder : public quillon::PrintSink {
 public:
  void SetAction(int id) override { Add("action " + std::to_string(id)); }
  void SetProgressRange(int a, int b, int s) override {
    Add("range " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(s));
  }
  void SetProgressPosition(int p) override { Add("pos " + std::to_string(p)); }
  void SetProgressToMaximum() override { Add("max"); }
  void SetTotalBytes(std::uint32_t t) override { Add("total " + std::to_string(t)); }
  bool TransferNotified(std::uintptr_t w, std::intptr_t l) override {
    Add("notify " + std::to_string(WM_TRANSFER_NOTIFY) + " " + std::to_string(w) + " " +
        std::to_string(l));
    return onNotify ? onNotify(w, l) != 0 : false;
  }

  // Runs on the output thread after each event is recorded.
  std::function<void(const std::string&)> onEvent;
  // Answers a notification (default 0: go on, 1: abort); runs on the
  // output thread.
  std::function<std::intptr_t(std::uintptr_t, std::intptr_t)> onNotify;

  std::vector<std::string> Events() {
    std::lock_guard<std::mutex> lock(mu_);
    return events_;
  }
  bool WaitFor(const std::string& event, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mu_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
      for (const auto& e : events_)
        if (e == event) return true;
      return false;
    });
  }

 private:
  void Add(const std::string& e) {
    {
      std::lock_guard<std::mutex> lock(mu_);
      events_.push_back(e);
    }
    cv_.notify_all();
    if (onEvent) onEvent(e);
  }

  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<std::string> events_;
};

}  // namespace quillon_test
