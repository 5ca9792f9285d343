#pragma once
// The commands of quillon-cli; each returns the process's exit code.

namespace cli {

struct Options;

int RunInfo(const Options& options);
int RunPrinters(const Options& options);
int RunQuery(const Options& options);
int RunInventory(const Options& options);
int RunJob(const Options& options);
int RunDownload(const Options& options);

}  // namespace cli
