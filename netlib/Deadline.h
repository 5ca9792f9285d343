#pragma once
#include <chrono>

namespace quillon::net {

// The end of a whole step: waits inside it never run past it.
class Deadline {
 public:
  using Clock = std::chrono::steady_clock;
  // No end.
  Deadline() = default;
  // Ends ms from now; a negative ms means no end.
  static Deadline AfterMs(int ms) {
    Deadline d;
    if (ms >= 0) {
      d.bounded_ = true;
      d.at_ = Clock::now() + std::chrono::milliseconds(ms);
    }
    return d;
  }
  bool Bounded() const { return bounded_; }
  bool Expired() const { return bounded_ && Clock::now() >= at_; }
  // Milliseconds left, 0 once passed; -1 without an end.
  int LeftMs() const {
    if (!bounded_) return -1;
    // Rounded up: 0 only once the end has really passed.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(at_ - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
  }
  // One wait: at most perWaitMs (negative: unbounded), never past the end.
  int WaitMs(int perWaitMs) const {
    const int left = LeftMs();
    if (left < 0) return perWaitMs;
    return perWaitMs < 0 || left < perWaitMs ? left : perWaitMs;
  }
  // The earlier of the two.
  Deadline Min(const Deadline& other) const {
    if (!other.bounded_) return *this;
    if (!bounded_) return other;
    return at_ <= other.at_ ? *this : other;
  }

 private:
  bool bounded_ = false;
  Clock::time_point at_{};
};

}  // namespace quillon::net
