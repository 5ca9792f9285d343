#pragma once
// Exit codes of a download, one per class of failure, shared by quillon-cli
// and the window's unattended run, so a script can tell what went wrong
// without reading the messages.

#include <cstdint>

namespace quillon {

enum class DownloadOutcome;

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
  kExitRefused = 12,       // not sent: the printer would be at risk (needs --force) or the
                           // package is older than its firmware (needs --allow-downgrade)
  kExitLocalWrite = 13,    // a local file cannot be written (job -o)
  kExitNotRecorded = 14,   // sent, but its record (history, DownLoad.log) was not written
};

// The exit class of a download result code (the output thread's codes).
int ExitOfResult(std::uint16_t result);

// The exit code of one run of the download command: its outcome and, when
// the transfer ran, its result code. A success whose record was not
// written is kExitNotRecorded: the printer has the package, the records do
// not say so.
int ExitOfOutcome(DownloadOutcome outcome, std::uint16_t result, bool recorded = true);

}  // namespace quillon
