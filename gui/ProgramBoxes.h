#pragma once
// The program's one message box routine and the scoped answerer of tests
// and unattended runs; the routine itself is widget-free.
#include "core/command/MessageBoxes.h"

namespace quillon {

// The program's one routine. Its fallback answerer shows real boxes on a
// display and answers headless on the offscreen or minimal platform.
MessageBoxes& Boxes();

// Installs an answerer for the life of the object (tests, unattended runs).
class ScopedBoxAnswerer {
 public:
  explicit ScopedBoxAnswerer(BoxAnswerer* answerer);
  ~ScopedBoxAnswerer();
  ScopedBoxAnswerer(const ScopedBoxAnswerer&) = delete;
  ScopedBoxAnswerer& operator=(const ScopedBoxAnswerer&) = delete;

 private:
  BoxAnswerer* previous_;
};

}  // namespace quillon
