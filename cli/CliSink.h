#pragma once
// The output thread's view of the terminal: what the progress window would
// show, kept in atomics that the main loop reads to draw the bar, and the
// abort flag that the network library's notifications answer with.

#include <atomic>
#include <cstdint>

#include "core/transfer/PrintSink.h"

namespace cli {

class CliSink : public TPrintSink {
 public:
  CliSink();

  void SetAction(int stringId) override { action_ = stringId; }
  void SetProgressRange(int minimum, int maximum, int step) override;
  void SetProgressPosition(int position) override { percent_ = position; }
  void SetProgressToMaximum() override { percent_ = maximum_.load(); }
  void SetTotalBytes(std::uint32_t total) override { total_ = total; }
  const QUILLON_NotifyTarget* NotifyTarget() override { return &notify_; }

  // The abort of the progress window's button: later notifications of the
  // network library answer 1. The thread's own flag is set by the caller.
  void RequestAbort() { abort_ = true; }
  bool AbortRequested() const { return abort_; }

  int Percent() const;
  int Action() const { return action_; }
  std::uint32_t TotalBytes() const { return total_; }
  // Bytes the printer has taken as far as known: the network library's
  // count, or the share of the bar on the spooler route.
  std::uint64_t BytesSent() const;

 private:
  static std::intptr_t NotifyProc(void* context, unsigned int message, std::uintptr_t wParam,
                                  std::intptr_t lParam);

  QUILLON_NotifyTarget notify_{};
  std::atomic<int> action_{0};
  std::atomic<int> minimum_{0};
  std::atomic<int> maximum_{100};
  std::atomic<int> percent_{0};
  std::atomic<std::uint32_t> total_{0};
  std::atomic<std::int64_t> ftpBytes_{-1};
  std::atomic<bool> abort_{false};
};

}  // namespace cli
