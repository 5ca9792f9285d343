#pragma once
// Shared pieces of the download tests: an application object with a
// package made in memory, the job stream expected for it, and the private
// cupsd's view of the last job of a queue.
#include <memory>
#include <string>

#include "platform/Spooler.h"

class TQUILLONApp;

namespace quillon_test {

// An application object on a fresh settings file.
std::unique_ptr<TQUILLONApp> MakeApp();

// Gives the application object a package holding data (no file behind it).
void SetPackage(TQUILLONApp& app, const std::string& data, int enableCommand, int reboot);

// The job stream of data with both commands and the given items.
std::string WrappedStream(const std::string& data, unsigned items);

// The highest job id the server lists for the queue (all states); 0 if none.
int LastJobId(const std::string& queue);
// The job's state, asked afresh.
platform::JobStatus JobStatusOf(int jobId);

// Job files (dwn*) left in the temporary folder.
int JobFilesLeft();

}  // namespace quillon_test
