// job: the dry run of a download. Writes the job stream the output thread
// would send to the printer, and why it is wrapped in the download command
// or not.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"
#include "cli/AppSetup.h"
#include "cli/Arguments.h"
#include "cli/BareHost.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/InputCheck.h"
#include "cli/Output.h"
#include "core/package/DownDocFile.h"
#include "core/transfer/JobStream.h"
#include "core/command/ResultMessages.h"

using quillon::BuildJobFile;
using quillon::FieldText;
using quillon::RestartCommand;
using quillon::ResultText;
using quillon::TransferRequest;

namespace cli {
namespace {

std::string WrapReason(TQUILLONApp& app, const std::string& printer, bool allowed,
                       std::uint32_t initItems) {
  const TDownDocFile& doc = *app.Package;
  const std::string model = std::string(FieldText(app.SelectedEntry.Driver));
  const std::string named = "\"" + model + "\"";
  if (app.EnableCommand == 0)
    return "not wrapped: the download command is switched off (--no-command or EnableCommand=0 "
           "in the settings)";
  if (!allowed) {
    if (!app.IsKnownModel(printer))
      return "not wrapped: the model " + named + " is not in the model table";
    return "not wrapped: the model " + named +
           " is put into download mode by hand (command flag 0)";
  }
  std::string why = "the model " + named + " takes the download command (code " +
                    std::string(FieldText(app.SelectedEntry.CodeText)) + ", command flag 1)";
  if (doc.EnableCommand == 0) return "not wrapped: the package switches the download command off";
  why = "wrapped: " + why;
  if (doc.Reboot == 0)
    why += "; no restart command (the package switches it off)";
  else
    why += "; restart command " + RestartCommand(initItems);
  return why;
}

}  // namespace

int RunJob(const Options& o) {
  std::string unusable;
  if (!PackageFileUsable(o.operand, unusable)) {
    ErrLine(unusable);
    return kExitInput;
  }
  auto app = MakeApp(o);
  app->OpenPackage(o.operand);
  const int status = app->Package ? app->Package->Status : 17;
  if (status != 0) {
    ErrLine(o.operand + ": " + ResultText(ResultMessage(status)));
    return kExitPackage;
  }
  // The same printer a download to this name would reach.
  const std::string printer = BareHostPrinter(o.printers.front());
  SelectTarget(*app, printer, o);

  // The output thread's decision, from the same request it would get.
  const TransferRequest request = app->MakeTransferRequest(InitItemsOf(o));
  const bool allowed = request.WithCommand();
  const int fd = ::open(o.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    // Nothing was to be sent: this is the local file, not the printer.
    ErrLine("cannot write " + o.output + ": " + std::strerror(errno));
    return kExitLocalWrite;
  }
  ::close(fd);
  const std::uint32_t length =
      BuildJobFile(o.output.c_str(), request.package.get(), allowed, request.initItems);
  if (length == 0) {
    std::remove(o.output.c_str());
    ErrLine(o.output + ": " + ResultText(ResultMessage(18)));
    return kExitLocalWrite;
  }
  OutLine(o.output + ": " + std::to_string(length) + " bytes for " + printer + " (" +
          RouteOf(printer) + ")");
  OutLine(WrapReason(*app, printer, allowed, request.initItems));
  return kExitOk;
}

}  // namespace cli
