#include "cli/CliSink.h"

#include <algorithm>

#include "netlib/quillon.h"

namespace cli {

void CliSink::SetProgressRange(int minimum, int maximum, int /*step*/) {
  minimum_ = minimum;
  maximum_ = maximum > minimum ? maximum : minimum + 1;
}

int CliSink::Percent() const {
  const int lo = minimum_, hi = maximum_;
  const int at = std::clamp(percent_.load(), lo, hi);
  return (at - lo) * 100 / (hi - lo);
}

bool CliSink::TransferNotified(std::uintptr_t wParam, std::intptr_t lParam) {
  if (wParam == NOTIFY_PROGRESS) {
    const std::uint64_t done = static_cast<std::uint32_t>(lParam);
    const std::uint64_t total = total_ ? total_.load() : 1;
    percent_ = static_cast<int>(std::min<std::uint64_t>(done * 100u / total, 100u));
  }
  return false;
}

}  // namespace cli
