#pragma once
// The rules of a download run's waves: what counts as a failure and the
// limits --canary and --max-failures set.

#include <cstddef>
#include <string>

#include "cli/Arguments.h"
#include "cli/BatchRunner.h"

namespace cli {

// A printer on which something was tried and did not work: its transfer
// failed or was aborted, or its console did not answer. A printer
// refused, skipped, declined or busy was not tried and does not count;
// nor does one not started. An unverified printer counts too, but only
// its verification knows (the runner is told then).
bool CountsAsFailure(const std::string& outcome);

// What -q still shows: every printer that did not end well (also a
// refusal or an unverified success), i.e. anything but a success or a
// skip with exit 0.
bool IsFailureOutcome(const std::string& outcome, int exit);

// The runner's limits for a batch of printers: --max-failures P% is P% of
// them, rounded up (at least 1).
WavePolicy WavesOf(const Options& o, std::size_t printers);

}  // namespace cli
