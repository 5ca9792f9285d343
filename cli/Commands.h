#pragma once
// The commands of quillon-cli; each returns the process's exit code.

#include <string>

class QDateTime;

namespace cli {

struct Options;

int RunInfo(const Options& options);
int RunPrinters(const Options& options);
int RunQuery(const Options& options);
int RunInventory(const Options& options);
int RunJob(const Options& options);
int RunDownload(const Options& options);
int RunHistory(const Options& options);

// The --since text of history: a date (its local midnight) or an ISO date
// and time (local unless it names its offset). False when it is neither.
bool ParseSince(const std::string& text, QDateTime& since);

}  // namespace cli
