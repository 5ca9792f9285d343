#pragma once
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "netlib/quillon.h"

namespace quillon_test {

// A notify target that records every notification and answers 1 (abort)
// at the chosen occurrence of one notification.
class NotifyRecorder {
 public:
  NotifyRecorder() = default;
  NotifyRecorder(unsigned abortOn, int occurrence = 1, intptr_t otherAnswer = 0)
      : abortOn_(abortOn), occurrence_(occurrence), otherAnswer_(otherAnswer) {}

  const QUILLON_NotifyTarget* Target() { return &target_; }
  std::vector<std::pair<unsigned, intptr_t>> Events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  std::vector<unsigned> Kinds() {
    std::vector<unsigned> kinds;
    for (const auto& e : Events()) kinds.push_back(e.first);
    return kinds;
  }
  int Count(unsigned kind) {
    int n = 0;
    for (const auto& e : Events()) n += e.first == kind;
    return n;
  }

 private:
  static intptr_t Proc(void* context, unsigned message, uintptr_t wParam, intptr_t lParam) {
    auto* self = static_cast<NotifyRecorder*>(context);
    if (message != WM_TRANSFER_NOTIFY) return 0;
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->events_.emplace_back(static_cast<unsigned>(wParam), lParam);
    if (wParam == self->abortOn_ && ++self->seen_ == self->occurrence_) return 1;
    return self->otherAnswer_;
  }

  QUILLON_NotifyTarget target_{&NotifyRecorder::Proc, this};
  unsigned abortOn_ = 0;
  int occurrence_ = 1;
  intptr_t otherAnswer_ = 0;
  int seen_ = 0;
  std::mutex mutex_;
  std::vector<std::pair<unsigned, intptr_t>> events_;
};

}  // namespace quillon_test
