#pragma once
// What a download run says of itself on standard error: the status line
// while it waits, the counts per outcome at its end.

#include <cstddef>
#include <string>
#include <vector>

namespace cli {

struct Waiting {
  std::string name;  // the console's host (or the printer)
  double seconds = 0;
};

// "27/41 done, waiting for 3: .33 45/300 s, .34 40/300 s"; "" when nothing
// is waited for. An IPv4 address is shown by its last part.
std::string StatusText(std::size_t done, std::size_t total, const std::vector<Waiting>& waiting,
                       int timeoutSeconds);

// "summary: 41 printers: 38 succeeded, 2 refused, 1 unverified", the
// outcomes in a fixed order, each with its count.
std::string SummaryText(const std::vector<std::string>& outcomes, bool japanese = false);

}  // namespace cli
