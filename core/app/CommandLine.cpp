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
#include "core/transfer/PrinterTarget.h"
#include "netlib/NetAddress.h"
#include "platform/Text.h"

using platform::UpperAscii;
using quillon::PrinterTarget;
using quillon::SetField;
using quillon::kEntryTextMax;

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

// /HN= names a host: its FTP server's usual folder. A bare IPv6 address
// gets the brackets an address with a folder needs.
std::string HostAddress(const std::string& host) {
  const bool bareV6 = host.find(':') != host.rfind(':') && host.front() != '[';
  return std::string(platform::kFtpScheme) + (bareV6 ? "[" + host + "]" : host) + "/" +
         std::string(quillon::net::kDefaultFtpFolder);
}

}  // namespace

void TQUILLONApp::SelectPrinterText(const std::string& option, const std::string& text) {
  PrinterTarget target;
  const platform::Error bad =
      text.empty() ? platform::Error::Ok() : PrinterTarget::Parse(text, &target);
  if (bad.Failed()) {
    // Nothing is preselected: a malformed address must not reach a query
    // or a transfer in any spelling.
    SelectedPrinter.clear();
    PrinterInputError = option + ": " + bad.detail;
    return;
  }
  SelectedPrinter = target.Canonical();
  PrinterInputError.clear();
}

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
      const std::string host = ValueAfterLastEquals(arg);
      SelectPrinterText("/HN=", host.empty() ? std::string() : HostAddress(host));
      ViewLocal = 0;
    }
    if (upper.find("/PR=") != std::string::npos) SelectPrinterText("/PR=", ValueAfterLastEquals(arg));
    if (upper.find("/M=") != std::string::npos) {
      FtpModel = ValueAfterLastEquals(arg);
      SetField(SelectedEntry.Driver, FtpModel, kEntryTextMax);
    }
    if (upper.find("/NO") != std::string::npos) AutoRun = 0;
  }
}
