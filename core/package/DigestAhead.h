#pragma once
// Works a package's digest out on a thread of its own while the printers
// are asked and sent to, so that recording the attempt afterwards does not
// wait for a hash of the whole firmware. Joined on destruction.

#include <memory>
#include <thread>

#include "core/package/DownDocFile.h"

namespace quillon {

class DigestAhead {
 public:
  explicit DigestAhead(std::shared_ptr<const TDownDocFile> package)
      : thread_([package = std::move(package)] {
          if (package) package->DataSha256();
        }) {}
  ~DigestAhead() { thread_.join(); }
  DigestAhead(const DigestAhead&) = delete;
  DigestAhead& operator=(const DigestAhead&) = delete;

 private:
  std::thread thread_;
};

}  // namespace quillon
