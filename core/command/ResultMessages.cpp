#include "core/command/ResultMessages.h"

#include "core/command/MessageBoxes.h"
#include "core/command/MessageIds.h"
#include "core/transfer/ResultCodes.h"
#include "resources/StringTable.h"

using quillon::MB_ICONINFORMATION;
using quillon::MB_ICONSTOP;

namespace {
// The package status of unusable data (no 0x1A mark, or too large).
constexpr int kDocBadFormat = 19;
}  // namespace

TResultMessage ResultMessage(int code) {
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

std::string ResultText(const TResultMessage& m) { return LoadStr(m.messageId); }
