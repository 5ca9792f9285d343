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

}  // namespace cli
