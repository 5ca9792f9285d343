#include "core/app/PrinterRows.h"

#include <new>
#include <string_view>

#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"
#include "core/package/DownDocFile.h"
#include "platform/Spooler.h"

namespace quillon {

namespace {

// Carriage returns and line feeds become "/", one for one. In UTF-8 these
// bytes never occur inside a multi-byte character.
std::string OneLine(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '\r' || c == '\n') c = '/';
  }
  return out;
}

// The record whose model the questions about `name` use: the selected
// printer answers with the model its selection settled on (possibly one
// the operator chose), any other queue with its spooler driver.
TPrinterEntry ModelRecord(const TQUILLONApp& app, const std::string& name,
                          const TPrinterEntry& record) {
  if (name != app.SelectedPrinter) return record;
  TPrinterEntry model = record;
  SetField(model.Driver, FieldText(app.SelectedEntry.Driver), kEntryTextMax);
  app.ResolveModel(model);
  return model;
}

}  // namespace

void FillSpoolerRecord(const platform::SpoolerPrinterData& data, TPrinterEntry& record) {
  SetField(record.Name, data.name, kEntryTextMax);
  SetField(record.Driver, data.driver, kEntryTextMax);
  SetField(record.Port, data.ports, kEntryTextMax);
  SetField(record.Location, data.location, kEntryTextMax);
  SetField(record.Comment, OneLine(data.comment), kEntryTextMax);
}

int ReadPrinterRows(const TQUILLONApp& app, std::vector<PrinterRow>& rows) {
  try {
    std::vector<platform::SpoolerPrinterData> queues;
    if (!platform::ListPrinterData(queues)) queues.clear();
    const TDownDocFile* package = app.GetPackage();
    std::vector<PrinterRow> out;
    out.reserve(queues.size());
    for (const platform::SpoolerPrinterData& queue : queues) {
      PrinterRow row;
      row.name = queue.name;
      FillSpoolerRecord(queue, row.record);  // Version stays empty
      app.ResolveModel(row.record);
      const TPrinterEntry model = ModelRecord(app, row.name, row.record);
      row.updatable = CanUpdateOverConnection(model) == 1;
      row.packageTarget = package && app.Models &&
                          IsPackageTarget(model, package->PrinterList, *app.Models) == 1;
      out.push_back(std::move(row));
    }
    rows = std::move(out);
  } catch (const std::bad_alloc&) {
    return 14;
  }
  return 0;
}

}  // namespace quillon
