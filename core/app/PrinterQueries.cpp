// The printer record of a spooler queue or of a printer's FTP server, and
// the questions the rest of the program asks about a printer.

#include <cstring>
#include <string>
#include <string_view>

#include "core/app/ConsoleAsk.h"
#include "core/app/Funcs.h"
#include "core/app/PrinterRows.h"
#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"
#include "core/package/DownDocFile.h"
#include "netlib/quillon.h"
#include "platform/Spooler.h"
#include "core/transfer/PrinterTarget.h"
#include "platform/Text.h"

using platform::SameTextNoCase;
using quillon::FieldText;
using quillon::FillSpoolerRecord;
using quillon::PrinterTarget;
using quillon::SetField;
using quillon::kEntryTextMax;
using quillon::kEntryVersionMax;

namespace {

bool IsFtpName(std::string_view name) { return platform::IsFtpPrinterName(name); }

// Asks the printer at the host of an FTP address for its model and second
// status value over its console; aborted may end the query early.
bool QueryPrinterInfo(const std::string& address, std::string& model, std::string& second,
                      const std::function<bool()>& aborted) {
  // The console listens on its own port: the host alone, never the FTP port.
  PrinterTarget target;
  if (PrinterTarget::Parse(address, &target).Failed() || !target.IsFtp()) return false;
  quillon::ConsoleReply reply = quillon::AskPrinterConsole(target.Host(), aborted);
  if (!reply.answered) return false;
  model = std::move(reply.model);
  second = std::move(reply.version);
  return true;
}

}  // namespace

int TQUILLONApp::GetPrinterRecord(const char* name, TPrinterEntry& record) {
  if (!name) return 0;
  const std::string target(name);
  int result = 1;
  if (IsFtpName(target)) {
    SetField(record.Name, FtpModel, kEntryTextMax);
    if (!FtpModel.empty() && SameTextNoCase(SelectedPrinter, target)) {
      // The model of the selected printer is known already (the command
      // line or an earlier query): no new query.
      SetField(record.Driver, FtpModel, kEntryTextMax);
      SetField(record.Version, FtpVersion, kEntryVersionMax);
    } else {
      std::string model, second;
      if (QueryPrinterInfo(target, model, second, ConsoleAborted)) {
        SetField(record.Driver, model, kEntryTextMax);
        SetField(record.Version, second, kEntryVersionMax);
      } else {
        SetField(record.Driver, "???", kEntryTextMax);
        SetField(record.Version, "", kEntryVersionMax);
      }
      SetFtpPrinterInfo(std::string(FieldText(record.Driver)),
                        std::string(FieldText(record.Version)));
    }
    SetField(record.Port, target, kEntryTextMax);
    SetField(record.Location, "", kEntryTextMax);
    SetField(record.Comment, "", kEntryTextMax);
  } else {
    platform::PrinterHandle printer;
    if (printer.Open(target)) {
      result = ReadSpoolerRecord(printer, record);
      printer.Close();
      SetField(record.Version, "", kEntryVersionMax);
    }
  }
  ResolveModel(record);
  return result;
}

int TQUILLONApp::ReadSpoolerRecord(platform::PrinterHandle& printer, TPrinterEntry& record) {
  platform::SpoolerPrinterData data;
  if (!printer.GetData(data)) return 0;
  FillSpoolerRecord(data, record);
  return 1;
}

void TQUILLONApp::SelectPrinter(const std::string& name) {
  SelectedPrinter = name;
  GetPrinterRecord(SelectedPrinter.c_str(), SelectedEntry);
  if (SelectedEntry.Driver[0] != '\0') return;
  std::string chosen;
  if (AskModel && AskModel(chosen)) SetField(SelectedEntry.Driver, chosen, kEntryTextMax);
  ResolveModel(SelectedEntry);
}

void TQUILLONApp::SetFtpPrinterInfo(const std::string& model, const std::string& second) {
  FtpModel = model;
  FtpVersion = second;
}

std::string TQUILLONApp::GetModelName(const std::string& name) {
  if (name == SelectedPrinter) return std::string(FieldText(SelectedEntry.Driver));
  if (IsFtpName(name)) {
    std::string model, second;
    // A failed query keeps the model learnt before.
    if (QueryPrinterInfo(name, model, second, ConsoleAborted)) SetFtpPrinterInfo(model, second);
    return FtpModel;
  }
  platform::PrinterHandle printer;
  if (!printer.Open(name)) return std::string();
  platform::SpoolerPrinterData data;
  if (!printer.GetData(data)) return std::string();
  return data.driver;
}

namespace {

// A scratch record whose model is the given driver name.
TPrinterEntry RecordOfModel(const TQUILLONApp& app, std::string_view driver) {
  TPrinterEntry entry{};
  SetField(entry.Driver, driver, kEntryTextMax);
  app.ResolveModel(entry);
  return entry;
}

}  // namespace

// The questions below fetch what they need of the printer (its model
// name, and its ports only when they can settle the answer) and leave the
// answer to the checks on a record.

int TQUILLONApp::IsPackageTarget(const std::string& name) {
  if (!Package || Package->PrinterList.empty()) return 0;
  return ::IsPackageTarget(RecordOfModel(*this, GetModelName(name)), Package->PrinterList,
                           *Models);
}

int TQUILLONApp::ModelFlag(const std::string& name) {
  return RecordOfModel(*this, GetModelName(name)).Flag;
}

int TQUILLONApp::IsKnownModel(const std::string& name) {
  return RecordOfModel(*this, GetModelName(name)).Known;
}

int TQUILLONApp::CanUpdateOverConnection(const std::string& name) {
  TPrinterEntry a = RecordOfModel(*this, GetModelName(name));
  if (a.Known == 1 && a.Flag == 0) {
    // Only a known model without the command flag depends on the port.
    platform::PrinterHandle printer;
    platform::SpoolerPrinterData data;
    if (!name.empty() && printer.Open(name) && printer.GetData(data))
      SetField(a.Port, data.ports, kEntryTextMax);
  }
  return ::CanUpdateOverConnection(a);
}
