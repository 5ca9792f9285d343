#include "cli/ExitCodes.h"

#include <algorithm>

#include "core/transfer/PrintThread.h"

namespace cli {

int ExitOfResult(std::uint16_t result) {
  switch (result) {
    case kJobDone: return kExitOk;
    case kJobPrinterOpen: return kExitPrinterOpen;
    case kJobDirectory: return kExitDirectory;
    case kJobAborted: return kExitAborted;
    default: return kExitSendFailed;  // 17, 18, 33, 34 and anything unknown
  }
}

int BatchExit(const std::vector<int>& codes) {
  if (codes.empty()) return kExitInput;
  const auto failed = std::find_if(codes.begin(), codes.end(), [](int c) { return c != kExitOk; });
  if (failed == codes.end()) return kExitOk;
  if (std::find(codes.begin(), codes.end(), kExitAborted) != codes.end()) return kExitAborted;
  if (std::find(codes.begin(), codes.end(), kExitOk) != codes.end()) return kExitPartial;
  return *failed;
}

const std::vector<ExitDoc>& ExitCodeDocs() {
  static const std::vector<ExitDoc> docs = {
      {kExitOk, "every printer succeeded"},
      {kExitInput, "input error (arguments, package file or printer missing)"},
      {kExitDeclined, "a confirmation was refused, or asked with no terminal and no --yes"},
      {kExitPackage, "the package cannot be opened or has no usable data"},
      {kExitPrinterOpen, "the printer cannot be opened or does not answer"},
      {kExitSendFailed, "sending failed"},
      {kExitDirectory, "the printer's FTP folder cannot be entered"},
      {kExitAborted, "aborted (Ctrl+C)"},
      {kExitPartial, "partial success: some printers of the batch succeeded, some failed"},
      {kExitBusy, "another download to the same printer is running"},
      {kExitUnverified, "sent, but --verify did not see the package's version on the printer"},
      {kExitRefused, "refused: the package is older than the printer's version"},
  };
  return docs;
}

const char* ExitCodeNote() {
  return "With several printers and no success at all, the code is that of the first printer "
         "that failed.";
}

std::string ExitCodeHelp() {
  std::string out = "Exit codes:\n";
  for (const ExitDoc& e : ExitCodeDocs()) {
    std::string code = std::to_string(e.code);
    out += std::string(4 - code.size(), ' ') + code + "   " + e.text + "\n";
  }
  return out + "With several printers and no success at all, the code is that of the\n"
               "first printer that failed.\n";
}

}  // namespace cli
