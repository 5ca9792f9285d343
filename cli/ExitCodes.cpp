#include "cli/ExitCodes.h"

#include <algorithm>


namespace cli {

int BatchExit(const std::vector<int>& codes) {
  if (codes.empty()) return kExitInput;
  const auto failed = std::find_if(codes.begin(), codes.end(), [](int c) { return c != kExitOk; });
  if (failed == codes.end()) return kExitOk;
  if (std::find(codes.begin(), codes.end(), kExitAborted) != codes.end()) return kExitAborted;
  if (std::find(codes.begin(), codes.end(), kExitOk) != codes.end()) return kExitPartial;
  return *failed;
}

const char* ExitCodeHelp() {
  return "Exit codes:\n"
         "  0   every printer succeeded\n"
         "  2   input error: arguments, a package file that is missing, unreadable or a\n"
         "      folder, a printer list that cannot be read, no printer\n"
         "  3   a confirmation was refused, or asked with no terminal and no --yes\n"
         "  4   the package cannot be used: not a package, damaged, or without data\n"
         "  5   the printer cannot be opened or does not answer\n"
         "  6   sending failed\n"
         "  7   the printer's FTP folder cannot be entered\n"
         "  8   aborted (Ctrl+C)\n"
         "  9   partial success: some printers of the batch succeeded, some failed\n"
         " 10   another download to the same printer is running\n"
         " 11   refused: the package is not for the printer's model, or the model is\n"
         "      unknown or cannot be updated over its connection (--force sends anyway)\n"
         " 12   a local file cannot be written (job -o)\n"
         "With several printers and no success at all, the code is that of the\n"
         "first printer that failed.\n";
}

}  // namespace cli
