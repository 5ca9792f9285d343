#pragma once
// Work items on a few threads, their outcomes handed back in item order.

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace cli {

// Runs work(i) for every i below count on at most jobs threads. done(i,
// ran) is called on the calling thread in index order as soon as item i
// and every item before it ended; ran is false for items never started
// because of Ctrl+C. tick(finished) is called about five times a second
// while items run (for a progress line); it may be empty.
void RunParallel(std::size_t count, int jobs, const std::function<void(std::size_t)>& work,
                 const std::function<void(std::size_t, bool)>& done,
                 const std::function<void(std::size_t)>& tick = {});

// The same work started in the background: the caller asks which items
// have ended and goes on with those. Items not yet started when Ctrl+C
// comes are skipped (and count as ended). ended(work, i), when given, is
// called on the item's thread once Ended(i) is true, so that a caller need
// not poll. The destructor waits for the threads.
class BackgroundWork {
 public:
  BackgroundWork(std::size_t count, int jobs, std::function<void(std::size_t)> work,
                 std::function<void(const BackgroundWork&, std::size_t)> ended = {});
  ~BackgroundWork();
  BackgroundWork(const BackgroundWork&) = delete;
  BackgroundWork& operator=(const BackgroundWork&) = delete;

  // Item i ended; what it wrote may be read from now on.
  bool Ended(std::size_t i) const;
  // Starts no item more and waits for those begun (the destructor waits
  // for every item).
  void Stop();

 private:
  std::function<void(std::size_t)> work_;
  std::function<void(const BackgroundWork&, std::size_t)> told_;
  std::unique_ptr<std::atomic<bool>[]> ended_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stopped_{false};
  std::size_t count_;
  std::vector<std::thread> threads_;
};

}  // namespace cli
