#pragma once
// Waits on a state that another thread or process brings about: checks the
// condition until it holds or the time is up. True when it held.
#include <chrono>
#include <thread>

namespace quillon_test {

template <typename Condition>
bool WaitUntil(Condition condition, int timeoutMs, int pollMs = 20) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
  }
}

}  // namespace quillon_test
