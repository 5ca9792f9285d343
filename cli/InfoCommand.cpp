// info: what a package holds, as the download would see it.
#include <string>

#include "core/app/TextUtil.h"
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/InputCheck.h"
#include "cli/JsonOut.h"
#include "cli/Output.h"
#include "cli/Signals.h"
#include "cli/TerminalText.h"
#include "core/package/DownDocFile.h"
#include "core/command/ResultMessages.h"

using quillon::PackageFormName;
using quillon::ResultText;
using quillon::kDocCancelled;
using quillon::kResultNotFirmwareFormat;

namespace cli {

int RunInfo(const Options& o) {
  // A missing file, a folder or an unreadable file is an input error, as
  // for every command; a file that is no usable package is the package's.
  std::string unusable;
  if (!PackageFileUsable(o.operand, unusable)) {
    if (o.json)
      OutLine(JsonLine().Add("package", o.operand).AddNull("status").Add("message", unusable).Text());
    ErrLine(unusable);
    return kExitInput;
  }
  const TDownDocFile doc(o.operand);
  const int status = doc.Status;
  // A package without the firmware mark is read, but the window warns.
  std::string message;
  if (status != 0)
    message = ResultText(ResultMessage(status));
  else if (doc.HeaderValid != 1)
    message = ResultText(ResultMessage(kResultNotFirmwareFormat));
  // The document read the file (or refused it without opening it): one
  // form detection, and none on a FIFO.
  const std::string form = PackageFormName(doc.Form);
  const std::string& sha = doc.DataSha256();

  if (o.json) {
    std::string targets = "[";
    for (const std::string& t : doc.PrinterList) {
      if (targets.size() > 1) targets += ',';
      targets += JsonString(t);
    }
    targets += "]";
    std::string rows = "[";
    for (const auto& row : doc.PrinterTable) {
      if (rows.size() > 1) rows += ',';
      rows += JsonLine().Add("name", row.first).Add("value", row.second).Text();
    }
    rows += "]";
    JsonLine line;
    line.Add("package", o.operand)
        .Add("form", form)
        .Add("status", status)
        .Add("message", message)
        .Add("detail", doc.StatusDetail)
        .Add("firmware_format", doc.HeaderValid == 1)
        .Add("description", doc.DownLoadDesc)
        .Add("version", doc.DownLoadVersion)
        .Add("enable_command", static_cast<int>(doc.EnableCommand))
        .Add("reboot", static_cast<int>(doc.Reboot))
        .AddRaw("targets", targets)
        .AddRaw("model_rows", rows)
        .Add("begin_message", doc.BeginMessage)
        .Add("done_message", doc.DoneMessage)
        .Add("data_size", doc.DataSize)
        .Add("sha256", sha);
    OutLine(line.Text());
  } else {
    // Everything from the package is escaped: it may hold terminal controls.
    OutLine("Package:         " + ForTerminal(o.operand));
    OutLine("Form:            " + form);
    OutLine("Status:          " + std::to_string(status) + " " + message);
    if (!doc.StatusDetail.empty()) OutLine("Detail:          " + ForTerminal(doc.StatusDetail));
    OutLine("Description:     " + ForTerminal(doc.DownLoadDesc));
    OutLine("Version:         " + ForTerminal(doc.DownLoadVersion));
    OutLine("Command switch:  " + std::to_string(doc.EnableCommand));
    OutLine("Restart switch:  " + std::to_string(doc.Reboot));
    std::string targets;
    for (const std::string& t : doc.PrinterList) targets += (targets.empty() ? "" : ", ") + t;
    OutLine("Target models:   " + ForTerminal(targets));
    for (const auto& row : doc.PrinterTable) {
      OutLine("Model row:       " + ForTerminal(row.first + "=" + row.second));
    }
    OutLine("Begin message:   " + ForTerminal(doc.BeginMessage));
    OutLine("Done message:    " + ForTerminal(doc.DoneMessage));
    OutLine("Data size:       " + std::to_string(doc.DataSize));
    OutLine("Data SHA-256:    " + sha);
  }
  if (status != 0) {
    if (!o.json) ErrLine(message + (doc.StatusDetail.empty() ? "" : " (" + ForTerminal(doc.StatusDetail) + ")"));
    // Stopped by Ctrl+C or SIGTERM while opening: an abort, not a bad package.
    return status == kDocCancelled && Interrupted() ? kExitAborted : kExitPackage;
  }
  return kExitOk;
}

}  // namespace cli
