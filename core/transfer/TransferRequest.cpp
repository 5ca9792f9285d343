#include "core/transfer/TransferRequest.h"

#include "platform/Text.h"

namespace quillon {

TransferRoute RouteOfPrinter(const std::string& printer) {
  return platform::IsFtpPrinterName(printer) ? TransferRoute::Ftp : TransferRoute::Spooler;
}

const char* RouteName(TransferRoute route) {
  return route == TransferRoute::Ftp ? "ftp" : "spooler";
}

}  // namespace quillon
