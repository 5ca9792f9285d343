// Questions about a printer answered from its resolved record: no spooler,
// no network.

#include "core/app/ModelTable.h"
#include "core/app/PrinterEntry.h"
#include "core/app/TextUtil.h"
#include "platform/Spooler.h"

using quillon::FieldText;
using quillon::IsOnParallelPort;
using quillon::SetField;
using quillon::kEntryTextMax;

namespace quillon {

bool IsOnParallelPort(const TPrinterEntry& record) {
  // A cut port list still starts with its whole first port: a parallel
  // port's text is far shorter than a field.
  return platform::LptNumberOfPort(platform::FirstPort(std::string(FieldText(record.Port)))) != 0;
}

}  // namespace quillon

int CanUpdateOverConnection(const TPrinterEntry& record) {
  if (record.Known != 1) return 0;
  if (record.Flag != 0) return 1;
  return IsOnParallelPort(record) ? 1 : 0;
}

int IsPackageTarget(const TPrinterEntry& record, const std::vector<std::string>& targets,
                    const TDLPrinterList& models) {
  for (const std::string& target : targets) {
    TPrinterEntry b{};
    SetField(b.Driver, target, kEntryTextMax);
    ResolveModel(models, b);
    if ((record.Code != 0 && record.Code == b.Code) ||
        FieldText(record.CodeText) == FieldText(b.CodeText))
      return 1;
  }
  return 0;
}
