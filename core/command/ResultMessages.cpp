#include "core/command/ResultMessages.h"

#include <cctype>
#include <cstdio>

#include "core/command/MessageBoxes.h"
#include "core/command/MessageIds.h"
#include "core/transfer/ResultCodes.h"
#include "resources/StringTable.h"

using quillon::LoadStr;
using quillon::MB_ICONINFORMATION;
using quillon::MB_ICONSTOP;
using quillon::kJobAborted;
using quillon::kJobDirectory;
using quillon::kJobDone;
using quillon::kJobFileOpen;
using quillon::kJobPrintedWithErrors;
using quillon::kJobPrinterOpen;
using quillon::kJobSendFailed;
using quillon::kJobTempFile;
using quillon::kResultNotFirmwareFormat;

namespace msg = quillon::msg;
namespace help = quillon::help;

namespace {
// The package status of unusable data (no 0x1A mark, or too large).
constexpr int kDocBadFormat = 19;

// The advice texts after a failure (besides msg::kSwitchOffAdvice).
constexpr int kCheckPrinterReachable = 4165;  // power, network, address
constexpr int kStoreRefused = 4166;           // the FTP server refused the file
constexpr int kLoginRefused = 4167;           // the FTP server refused the login
constexpr int kRequestRefused = 4168;         // the FTP server refused another request

// Where detail holds "STEP: NNN text" with a 4xx or 5xx reply: the position
// of that ": ", else npos. The library writes each failed FTP step so.
std::size_t RefusalAt(const std::string& detail) {
  for (std::size_t at = detail.find(": "); at != std::string::npos; at = detail.find(": ", at + 1)) {
    const std::size_t code = at + 2;
    if (code + 3 > detail.size()) break;
    const bool digits = (detail[code] == '4' || detail[code] == '5') &&
                        std::isdigit(static_cast<unsigned char>(detail[code + 1])) &&
                        std::isdigit(static_cast<unsigned char>(detail[code + 2]));
    const bool ends = code + 3 == detail.size() || detail[code + 3] == ' ' || detail[code + 3] == '-';
    if (digits && ends) return at;
  }
  return std::string::npos;
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// A printer's words in a box: control characters shown as \xNN.
std::string Shown(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

quillon::ResultMessageText ResultMessage(int code) {
  switch (code) {
    case kJobDone: return {msg::kDownloadEnded, MB_ICONINFORMATION, help::kDownloadEnded};
    case kJobFileOpen: return {msg::kFileOpenFailed, MB_ICONSTOP, help::kFileOpenFailed};
    case kJobTempFile: return {msg::kTempFileFailed, MB_ICONSTOP, help::kTempFileFailed};
    case kDocBadFormat: return {msg::kFileBadFormat, MB_ICONSTOP, help::kNone};
    case kJobPrinterOpen: return {msg::kPrinterOpenFailed, MB_ICONSTOP, help::kPrinterOrSendFailed};
    case kJobSendFailed: return {msg::kSendFailed, MB_ICONSTOP, help::kPrinterOrSendFailed};
    case kJobPrintedWithErrors: return {msg::kSendFailed, MB_ICONSTOP, help::kPrinterOrSendFailed};
    case kJobDirectory: return {msg::kDirectoryFailed, MB_ICONSTOP, help::kDirectoryFailed};
    case kResultNotFirmwareFormat:
      return {msg::kNotFirmwareFormat, MB_ICONINFORMATION, help::kGeneral};
    case kJobAborted: return {msg::kDownloadAborted, MB_ICONSTOP, help::kDownloadAborted};
    default: return {msg::kDownloadFailed, MB_ICONSTOP, help::kGeneral};
  }
}

namespace quillon {

std::string ResultText(const ResultMessageText& m) { return LoadStr(m.messageId); }

std::string ResultAdvice(int code, const std::string& detail) {
  if (code == kJobDone || code == kJobDirectory) return std::string();
  const std::size_t refusal = RefusalAt(detail);
  if (refusal != std::string::npos) {
    // The step the server refused, as the library names it: the command
    // with its argument, "after the data of STOR ..." for the final reply.
    const std::string step = detail.substr(0, refusal);
    const int id = StartsWith(step, "STOR") || StartsWith(step, "after the data of STOR")
                       ? kStoreRefused
                   : StartsWith(step, "USER") || StartsWith(step, "PASS") ? kLoginRefused
                                                                           : kRequestRefused;
    return LoadStr(id) + "\n" + Shown(detail);
  }
  if (code == kJobPrinterOpen) return LoadStr(kCheckPrinterReachable);
  return LoadStr(msg::kSwitchOffAdvice);
}

}  // namespace quillon
