#pragma once
// The output thread's view of the terminal: what the progress window would
// show, kept in atomics that the main loop reads to draw the bar.

#include <atomic>
#include <cstdint>

#include "core/transfer/PrintSink.h"

namespace cli {

class CliSink : public quillon::PrintSink {
 public:
  CliSink() = default;

  void SetAction(int stringId) override { action_ = stringId; }
  void SetProgressRange(int minimum, int maximum, int step) override;
  void SetProgressPosition(int position) override { percent_ = position; }
  void SetProgressToMaximum() override { percent_ = maximum_.load(); }
  void SetTotalBytes(std::uint32_t total) override { total_ = total; }
  bool TransferNotified(std::uintptr_t wParam, std::intptr_t lParam) override;

  int Percent() const;
  int Action() const { return action_; }
  std::uint32_t TotalBytes() const { return total_; }

 private:
  std::atomic<int> action_{0};
  std::atomic<int> minimum_{0};
  std::atomic<int> maximum_{100};
  std::atomic<int> percent_{0};
  std::atomic<std::uint32_t> total_{0};
};

}  // namespace cli
