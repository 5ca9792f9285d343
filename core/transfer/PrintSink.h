#pragma once
// What the output thread tells the progress dialog, and what it takes from
// it. Every call is made on the output thread; the dialog carries them out
// on the user-interface thread, in the order they were made.

#include <cstdint>

#include "netlib/quillon.h"

class TPrintSink {
 public:
  virtual ~TPrintSink() = default;
  // The step shown above the bar: a text of the string table.
  virtual void SetAction(int stringId) = 0;
  virtual void SetProgressRange(int minimum, int maximum, int step) = 0;
  virtual void SetProgressPosition(int position) = 0;
  virtual void SetProgressToMaximum() = 0;
  // Length of the job file, the divisor of the transfer's progress.
  virtual void SetTotalBytes(std::uint32_t total) = 0;
  // Where the network library sends its transfer notifications; it lives
  // as long as the dialog.
  virtual const QUILLON_NotifyTarget* NotifyTarget() = 0;
};
