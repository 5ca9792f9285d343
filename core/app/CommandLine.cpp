// The program's arguments: the first one that does not begin with "/" is
// the package; options are applied after it is open, so the model rows it
// brings are known before /M= takes effect.
//
// Absolute paths begin with "/" here, as options do: an argument that names
// an existing file (not a folder) is a path even when it begins with "/",
// and so is one that matches no option at all (a missing file or a folder),
// so that the package's own status tells what is wrong with it instead of
// the run going on without a package.
#include <filesystem>

#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"

namespace {

bool MatchesAnOption(const std::string& arg) {
  const std::string upper = UpperAscii(arg);
  return upper == "/NM" || upper == "/NC" || upper.find("/HN=") != std::string::npos ||
         upper.find("/PR=") != std::string::npos || upper.find("/M=") != std::string::npos ||
         upper.find("/NO") != std::string::npos;
}

bool IsOption(const std::string& arg) {
  if (arg.empty() || arg.front() != '/') return false;
  std::error_code ec;
  const auto st = std::filesystem::status(arg, ec);
  if (!ec && std::filesystem::is_regular_file(st)) return false;
  return MatchesAnOption(arg);
}

std::string ValueAfterLastEquals(const std::string& arg) {
  const size_t eq = arg.rfind('=');
  return eq == std::string::npos ? std::string() : arg.substr(eq + 1);
}

}  // namespace

void TQUILLONApp::ParseCommandLine() {
  for (const std::string& arg : args_) {
    if (!IsOption(arg)) {
      OpenPackage(arg);
      break;
    }
  }
  for (const std::string& arg : args_) {
    if (!IsOption(arg)) continue;
    const std::string upper = UpperAscii(arg);
    if (upper == "/NM") ShowMessage = 0;
    if (upper == "/NC") EnableCommand = 0;
    if (upper.find("/HN=") != std::string::npos) {
      SelectedPrinter = "ftp://" + ValueAfterLastEquals(arg) + "/vesta0";
      ViewLocal = 0;
    }
    if (upper.find("/PR=") != std::string::npos) SelectedPrinter = ValueAfterLastEquals(arg);
    if (upper.find("/M=") != std::string::npos) {
      FtpModel = ValueAfterLastEquals(arg);
      SetField(SelectedEntry.Driver, FtpModel, kEntryTextMax);
    }
    if (upper.find("/NO") != std::string::npos) AutoRun = 0;
  }
}
