#pragma once
// What the output thread tells whoever shows its progress (the progress
// window, the command line's bar, a test). Every call is made on the output
// thread and must return without waiting for another thread: the window
// carries them out later on its own thread, in the order they were made.

#include <cstdint>

namespace quillon {

class PrintSink {
 public:
  virtual ~PrintSink() = default;
  // The step shown above the bar: a text of the string table.
  virtual void SetAction(int stringId) = 0;
  virtual void SetProgressRange(int minimum, int maximum, int step) = 0;
  virtual void SetProgressPosition(int position) = 0;
  virtual void SetProgressToMaximum() = 0;
  // Length of the job file, the divisor of the transfer's progress.
  virtual void SetTotalBytes(std::uint32_t total) = 0;
  // A transfer notification of the network library (NOTIFY_* in wParam),
  // as the output thread received it; progress notifications come
  // coalesced to what a person can see (the first and the last always).
  // True asks for an abort: the answer must come from a flag, never from
  // waiting on another thread.
  virtual bool TransferNotified(std::uintptr_t wParam, std::intptr_t lParam) {
    (void)wParam;
    (void)lParam;
    return false;
  }
};

}  // namespace quillon
