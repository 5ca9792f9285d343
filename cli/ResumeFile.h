#pragma once
// --resume: the printers an earlier run's JSON output says succeeded (or
// skipped as current), so that a re-run tries only the others.

#include <set>
#include <string>

namespace cli {

// Printer identities (PrinterTarget::Identity) of the printers whose line has "exit": 0.
// Lines that are not JSON objects are ignored. False with a message when
// the file cannot be read.
bool SucceededPrinters(const std::string& path, std::set<std::string>& keys, std::string& error);

// --resume F for a batch (its printers' identities): the identities of
// the batch's printers F says are done. An input error (false, with a
// message) when F cannot be read, is the file standard output goes to
// (the shell emptied it before the run), holds no printer's line, or names
// none of the batch's printers: resuming from it would send to them all.
bool ResumeDone(const std::string& path, const std::set<std::string>& batch,
                std::set<std::string>& done, std::string& error);

}  // namespace cli
