#include "cli/Waves.h"

#include "cli/ExitCodes.h"

namespace cli {

bool CountsAsFailure(const std::string& outcome) {
  return outcome == "failed" || outcome == "aborted" || outcome == "unreachable";
}

bool IsFailureOutcome(const std::string& outcome, int exit) {
  return exit != kExitOk || (outcome != "succeeded" && outcome != "skipped");
}

WavePolicy WavesOf(const Options& o, std::size_t printers) {
  WavePolicy w;
  w.canary = o.canary;
  if (o.maxFailures > 0 && o.maxFailuresPercent) {
    const std::size_t limit = (printers * static_cast<std::size_t>(o.maxFailures) + 99) / 100;
    w.maxFailures = static_cast<int>(limit < 1 ? 1 : limit);
  } else {
    w.maxFailures = o.maxFailures;
  }
  return w;
}

}  // namespace cli
