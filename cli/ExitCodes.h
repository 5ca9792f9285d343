#pragma once
// Exit codes of quillon-cli, one per class of failure, so that a script
// can tell what went wrong without reading the messages.

#include <cstdint>
#include <string>
#include <vector>

#include "core/command/ExitCodes.h"

namespace cli {

// The codes and the result classes are the download command's own.
using quillon::ExitCode;
using quillon::ExitOfResult;
using quillon::kExitOk;
using quillon::kExitInput;
using quillon::kExitDeclined;
using quillon::kExitPackage;
using quillon::kExitPrinterOpen;
using quillon::kExitSendFailed;
using quillon::kExitDirectory;
using quillon::kExitAborted;
using quillon::kExitPartial;
using quillon::kExitBusy;
using quillon::kExitRefused;
using quillon::kExitUnverified;
using quillon::kExitLocalWrite;
using quillon::kExitNotRecorded;

// The exit code of a whole batch from its printers' codes, in printer
// order: 0 when all succeeded; the aborted code when any was aborted;
// partial success when some succeeded (a printer sent to but not recorded
// counts as sent); not recorded when every printer was sent to and some
// were not recorded; else the first failure's code.
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
