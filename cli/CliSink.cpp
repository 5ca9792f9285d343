#include "cli/CliSink.h"

#include <algorithm>

namespace cli {

CliSink::CliSink() {
  notify_.Callback = &CliSink::NotifyProc;
  notify_.Context = this;
}

void CliSink::SetProgressRange(int minimum, int maximum, int /*step*/) {
  minimum_ = minimum;
  maximum_ = maximum > minimum ? maximum : minimum + 1;
}

int CliSink::Percent() const {
  const int lo = minimum_, hi = maximum_;
  const int at = std::clamp(percent_.load(), lo, hi);
  return (at - lo) * 100 / (hi - lo);
}

std::uint64_t CliSink::BytesSent() const {
  const std::int64_t ftp = ftpBytes_;
  if (ftp >= 0) return static_cast<std::uint64_t>(ftp);
  return static_cast<std::uint64_t>(total_.load()) * static_cast<std::uint64_t>(Percent()) / 100u;
}

std::intptr_t CliSink::NotifyProc(void* context, unsigned int message, std::uintptr_t wParam,
                                  std::intptr_t lParam) {
  auto* self = static_cast<CliSink*>(context);
  if (!self || message != WM_TRANSFER_NOTIFY) return 0;
  if (wParam == NOTIFY_PROGRESS) {
    const std::uint64_t done = static_cast<std::uint32_t>(lParam);
    self->ftpBytes_ = static_cast<std::int64_t>(done);
    const std::uint64_t total = self->total_ ? self->total_.load() : 1;
    self->percent_ = static_cast<int>(std::min<std::uint64_t>(done * 100u / total, 100u));
  }
  return self->abort_ ? 1 : 0;
}

}  // namespace cli
