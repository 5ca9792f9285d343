#pragma once
// The system's download result codes, shared by the package's status, the
// output thread's result and the result messages; and the one place where
// the network library's codes become them.

#include <cstdint>

namespace quillon {

enum : std::uint16_t {
  kJobDone = 0,
  kJobFileOpen = 17,       // the package (or the job file) cannot be opened
  kJobTempFile = 18,       // the working copy or the job file cannot be made
  kJobPrinterOpen = 32,    // the printer cannot be opened (also: in use)
  kJobSendFailed = 33,
  kJobPrintedWithErrors = 34,
  kJobDirectory = 35,      // the printer's FTP folder cannot be changed to
  kJobAborted = 4096,
};

// The download result of a network library transfer result. loggedIn:
// the library told of its login (NOTIFY_LOGGED_IN) before it ended. The
// library's ERR_CONNECT before the login (no such host, refused,
// unreachable, timed out, no greeting, login refused) is a printer that
// cannot be opened; after it (no free local data port) a failed send.
std::uint16_t TransferResultCode(int libraryResult, bool loggedIn);

}  // namespace quillon
