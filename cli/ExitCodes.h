#pragma once
// Exit codes of quillon-cli, one per class of failure, so that a script
// can tell what went wrong without reading the messages.

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

enum ExitCode : int {
  kExitOk = 0,
  kExitInput = 2,          // bad arguments, package or printer missing
  kExitDeclined = 3,       // a confirmation was refused (or nobody could answer)
  kExitPackage = 4,        // the package cannot be opened or read
  kExitPrinterOpen = 5,    // the printer cannot be opened or does not answer
  kExitSendFailed = 6,     // sending failed (job file, spooler, FTP transfer)
  kExitDirectory = 7,      // the printer's FTP folder cannot be entered
  kExitAborted = 8,        // interrupted (Ctrl+C, SIGTERM)
  kExitPartial = 9,        // a batch where some printers succeeded, some not
  kExitBusy = 10,          // another download to the same printer is running
  kExitUnverified = 11,    // sent, but the printer did not come back with the package's version
  kExitRefused = 12,       // not sent: the package is older than the printer's firmware
};

// The exit class of a download result code (the output thread's codes).
int ExitOfResult(std::uint16_t result);

// The exit code of a whole batch from its printers' codes, in printer
// order: 0 when all succeeded; the aborted code when any was aborted;
// partial success when some succeeded; else the first failure's code.
int BatchExit(const std::vector<int>& codes);

// The codes and their meaning: the one source of --help and the manual.
struct ExitDoc {
  int code;
  const char* text;
};
const std::vector<ExitDoc>& ExitCodeDocs();
const char* ExitCodeNote();
// The text of --help listing the codes.
std::string ExitCodeHelp();

}  // namespace cli
