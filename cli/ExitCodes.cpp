#include "cli/ExitCodes.h"

#include <algorithm>

#include "cli/Language.h"
#include "resources/HelpFormat.h"


namespace cli {

int BatchExit(const std::vector<int>& codes) {
  if (codes.empty()) return kExitInput;
  const auto failed = std::find_if(codes.begin(), codes.end(), [](int c) { return c != kExitOk; });
  if (failed == codes.end()) return kExitOk;
  if (std::find(codes.begin(), codes.end(), kExitAborted) != codes.end()) return kExitAborted;
  const auto sent = [](int c) { return c == kExitOk || c == kExitNotRecorded; };
  if (std::all_of(codes.begin(), codes.end(), sent)) return kExitNotRecorded;
  if (std::any_of(codes.begin(), codes.end(), sent)) return kExitPartial;
  return *failed;
}

const std::vector<ExitDoc>& ExitCodeDocs() {
  static const std::vector<ExitDoc> docs = {
      {kExitOk, "every printer succeeded"},
      {kExitInput, "input error: arguments, a missing, unreadable or folder package"},
      {kExitDeclined, "a confirmation was refused, or asked with no terminal and no --yes"},
      {kExitPackage, "the package cannot be used: not a package, damaged, or without data"},
      {kExitPrinterOpen, "the printer cannot be opened or does not answer"},
      {kExitSendFailed, "sending failed"},
      {kExitDirectory, "the printer's FTP folder cannot be entered"},
      {kExitAborted, "aborted (Ctrl+C)"},
      {kExitPartial, "partial success: some printers of the batch succeeded, some failed"},
      {kExitBusy, "another download to the same printer is running"},
      {kExitUnverified, "sent, but --verify did not see the package's version on the printer"},
      {kExitRefused, "refused, nothing sent (see --force and --allow-downgrade)"},
      {kExitLocalWrite, "a local file cannot be written (job -o)"},
      {kExitNotRecorded, "sent, but not recorded: the history or DownLoad.log was not written"},
  };
  return docs;
}

const char* ExitCodeNote() {
  return "With several printers and no success at all, the code is that of the first printer "
         "that failed.";
}

std::string ExitCodeHelp() {
  std::string out = Tr("Exit codes:") + "\n";
  for (const ExitDoc& e : ExitCodeDocs()) {
    std::string code = std::to_string(e.code);
    out += std::string(4 - code.size(), ' ') + code + quillon::WrapText(Tr(e.text), 7, 79).substr(4);
  }
  return out + quillon::WrapText(Tr(ExitCodeNote()), 0, 72);
}

}  // namespace cli
