#include "platform/UnpackLimits.h"

#include <algorithm>
#include <atomic>

namespace platform {
namespace {

std::atomic<bool> g_cancel{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
thread_local UnpackBudget* t_budget = nullptr;

}  // namespace

std::uint64_t UnpackByteLimit(std::uint64_t packageSize) {
  const std::uint64_t scaled =
      packageSize > kUnpackCeiling / kUnpackRatio ? kUnpackCeiling : packageSize * kUnpackRatio;
  return std::min(std::max(scaled, kUnpackFloor), kUnpackCeiling);
}

UnpackBudget::UnpackBudget(std::uint64_t writeLimit, std::uint64_t readLimit)
    : writeLimit_(writeLimit), readLimit_(readLimit), outer_(t_budget) {
  t_budget = this;
}

UnpackBudget::~UnpackBudget() { t_budget = outer_; }

UnpackBudget* UnpackBudget::Current() { return t_budget; }

bool UnpackBudget::Check() {
  if (stop_ == UnpackStop::kNone && g_cancel.load(std::memory_order_relaxed)) {
    stop_ = UnpackStop::kCancelled;
  }
  return stop_ == UnpackStop::kNone;
}

bool UnpackBudget::Write(std::uint64_t bytes) {
  if (!Check()) return false;
  if (bytes > writeLimit_ - written_) {
    stop_ = UnpackStop::kTooLarge;
    return false;
  }
  written_ += bytes;
  return true;
}

bool UnpackBudget::Read(std::uint64_t bytes) {
  if (!Check()) return false;
  read_ += bytes;
  if (read_ > readLimit_) {
    stop_ = UnpackStop::kReadTooMuch;
    return false;
  }
  return true;
}

void RequestUnpackCancel() { g_cancel.store(true, std::memory_order_relaxed); }
void ClearUnpackCancel() { g_cancel.store(false, std::memory_order_relaxed); }
bool UnpackCancelRequested() { return g_cancel.load(std::memory_order_relaxed); }

}  // namespace platform
