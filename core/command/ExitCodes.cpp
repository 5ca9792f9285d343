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

int ExitOfOutcome(TDownloadOutcome outcome, std::uint16_t result, bool recorded) {
  switch (outcome) {
    case TDownloadOutcome::MissingInput: return kExitInput;
    case TDownloadOutcome::Declined: return kExitDeclined;
    case TDownloadOutcome::BadPackage: return kExitPackage;
    case TDownloadOutcome::Busy: return kExitBusy;
    case TDownloadOutcome::Ready: return kExitOk;
    case TDownloadOutcome::Ran: {
      const int exit = ExitOfResult(result);
      return exit == kExitOk && !recorded ? kExitNotRecorded : exit;
    }
  }
  return kExitSendFailed;
}

}  // namespace quillon
