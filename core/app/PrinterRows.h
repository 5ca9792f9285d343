#pragma once
// The rows of the local printer view: every spooler queue's record read in
// one request, with the answers the list shows for each.

#include <string>
#include <vector>

#include "core/app/PrinterEntry.h"

class TQUILLONApp;
namespace platform { struct SpoolerPrinterData; }

namespace quillon {

struct PrinterRow {
  std::string name;            // as the spooler lists it
  TPrinterEntry record{};      // filled from the spooler, model resolved
  bool updatable = false;      // CanUpdateOverConnection
  bool packageTarget = false;  // IsPackageTarget; false without a package
};

// Fills the record's spooler fields from the spooler's data (comment line
// breaks become "/"); Version and the model fields are left alone.
void FillSpoolerRecord(const platform::SpoolerPrinterData& data, TPrinterEntry& record);

// Every queue in the spooler's order. 0, or 14 when memory runs out; a
// server that cannot be asked gives no rows.
int ReadPrinterRows(const TQUILLONApp& app, std::vector<PrinterRow>& rows);

}  // namespace quillon
