// printers: the spooler's queues as the window's list shows them.
#include <string>
#include <vector>

#include "core/app/PrinterRows.h"
#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"
#include "cli/AppSetup.h"
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/JsonOut.h"
#include "cli/Output.h"
#include "platform/Spooler.h"

using quillon::FieldText;
using quillon::PrinterRow;
using quillon::ReadPrinterRows;

namespace cli {

int RunPrinters(const Options& o) {
  auto app = MakeApp(o);
  // One request for every queue, as the window's list reads them.
  std::vector<PrinterRow> rows;
  ReadPrinterRows(*app, rows);
  if (rows.empty()) {
    // No queue, or no print server to ask: only the latter is a failure.
    std::vector<platform::SpoolerPrinterData> queues;
    if (!platform::ListPrinterData(queues)) {
      ErrLine("the print server cannot be asked for its queues: " + platform::SpoolerLastError());
      return kExitPrinterOpen;
    }
  }
  if (!o.json) OutLine("PRINTER\tDRIVER\tPORT\tCODE\tFLAG\tKNOWN\tUPDATABLE");
  for (const PrinterRow& row : rows) {
    const std::string& name = row.name;
    const TPrinterEntry& entry = row.record;
    const bool updatable = row.updatable;
    if (o.json) {
      OutLine(JsonLine()
                  .Add("printer", name)
                  .Add("driver", std::string(FieldText(entry.Driver)))
                  .Add("port", std::string(FieldText(entry.Port)))
                  .Add("code", static_cast<int>(entry.Code))
                  .Add("code_text", std::string(FieldText(entry.CodeText)))
                  .Add("command_flag", static_cast<int>(entry.Flag))
                  .Add("known", entry.Known != 0)
                  .Add("updatable", updatable)
                  .Text());
    } else {
      OutLine(name + "\t" + std::string(FieldText(entry.Driver)) + "\t" +
              std::string(FieldText(entry.Port)) + "\t" + std::to_string(entry.Code) + "\t" +
              std::to_string(entry.Flag) + "\t" + (entry.Known ? "yes" : "no") + "\t" +
              (updatable ? "yes" : "no"));
    }
  }
  return kExitOk;
}

}  // namespace cli
