#pragma once
// What one transfer is given and what it gives back. The window, the
// unattended run and the command-line front end each build a request; the
// output thread works from it alone and leaves a result.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "core/transfer/PrinterTarget.h"
#include "core/transfer/ResultCodes.h"

class TDownDocFile;

namespace quillon {

struct TransferRequest {
  // A spooler queue, or a printer's FTP server as "ftp://host/directory":
  // the target's canonical spelling, as records and output show it.
  std::string printer;
  // The printer parsed once; the thread sends to it and nowhere else.
  PrinterTarget target;
  TransferRoute route = TransferRoute::Spooler;
  // Shared read-only by every transfer of a run; the package outlives them.
  std::shared_ptr<const TDownDocFile> package;
  // The setting that allows the download command at all (0 never wraps).
  bool enableCommand = true;
  // The printer model's command flag: 1 takes the download command.
  int modelFlag = 0;
  // Initialisation items for the restart command (1 menu, 2 network, 4
  // permissions; 0 none).
  std::uint32_t initItems = 1;
  // Spooler route: the queue is held while the firmware goes, so that no
  // other job reaches the printer before the update has ended (off:
  // quillon-cli --no-hold).
  bool holdQueue = true;
  // Keeps the hold after a successful transfer for the caller, who
  // releases it once it has seen the printer restart
  // (TPrintThread::TakeQueueHold); otherwise it goes as the transfer ends.
  bool keepHoldAfterTransfer = false;

  // The data are wrapped in the download command.
  bool WithCommand() const { return enableCommand && modelFlag != 0; }
};

// The route a printer text takes.
TransferRoute RouteOfPrinter(const std::string& printer);
const char* RouteName(TransferRoute route);  // "spooler" or "ftp"

struct TransferResult {
  std::uint16_t code = kJobSendFailed;  // the system's download result code
  // The cause in words: the errno text, the print server's own text, or the
  // FTP step with the server's reply line. Empty after a success.
  std::string detail;
  // Bytes handed over to the print server or the printer's FTP server.
  std::uint64_t bytesSent = 0;
  // Length of the job stream, when it was built.
  std::uint64_t jobBytes = 0;
  std::chrono::milliseconds duration{0};

  bool Succeeded() const { return code == kJobDone; }
  double Seconds() const { return static_cast<double>(duration.count()) / 1000.0; }
};

}  // namespace quillon
