#include "core/command/ExitCodes.h"

#include "core/command/DownloadCommand.h"
#include "core/transfer/PrintThread.h"

namespace quillon {

int ExitOfResult(std::uint16_t result) {
  switch (result) {
    case kJobDone: return kExitOk;
    case kJobPrinterOpen: return kExitPrinterOpen;
    case kJobDirectory: return kExitDirectory;
    case kJobAborted: return kExitAborted;
    default: return kExitSendFailed;  // 17, 18, 33, 34 and anything unknown
  }
}

int ExitOfOutcome(DownloadOutcome outcome, std::uint16_t result, bool recorded) {
  switch (outcome) {
    case DownloadOutcome::MissingInput: return kExitInput;
    case DownloadOutcome::Declined: return kExitDeclined;
    case DownloadOutcome::BadPackage: return kExitPackage;
    case DownloadOutcome::Busy: return kExitBusy;
    case DownloadOutcome::Ready: return kExitOk;
    case DownloadOutcome::Ran: {
      const int exit = ExitOfResult(result);
      return exit == kExitOk && !recorded ? kExitNotRecorded : exit;
    }
  }
  return kExitSendFailed;
}

}  // namespace quillon
