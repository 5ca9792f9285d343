#include "core/transfer/ResultCodes.h"

#include "netlib/quillon.h"

namespace quillon {

std::uint16_t TransferResultCode(int libraryResult, bool loggedIn) {
  switch (libraryResult) {
    case 0: return kJobDone;
    case ERR_CONNECT: return loggedIn ? kJobSendFailed : kJobPrinterOpen;
    case ERR_DIRECTORY: return kJobDirectory;
    case ERR_FILE_READ: return kJobTempFile;
    case ERR_CANCELLED: return kJobAborted;
    default: return kJobSendFailed;
  }
}

}  // namespace quillon
