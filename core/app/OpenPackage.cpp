#include "core/app/QuillonApp.h"
#include "core/package/DownDocFile.h"

using quillon::LoadModelTable;
using quillon::MergePackageModels;
using quillon::PrinterTarget;
using quillon::RouteOfPrinter;
using quillon::TransferRequest;

void TQUILLONApp::OpenPackage(const std::string& path, TDownDocFile::DataRead read) {
  Package.reset();
  // Kept whole, as it is opened: whoever compares or shows it later must
  // see the file that was opened, not a cut name of another one.
  PackageFileName = path;
  Package.reset(new TDownDocFile(path, std::string(), read));
  if (!Package->PrinterTable.empty()) {
    MergePackageModels();
    LoadModelTable();
  }
}

TransferRequest TQUILLONApp::MakeTransferRequest(std::uint32_t initItems) {
  TransferRequest request;
  // A printer that does not parse keeps no target: the thread then fails
  // with the reason instead of guessing a host.
  const platform::Error bad = PrinterTarget::Parse(SelectedPrinter, &request.target);
  request.printer = bad.Failed() ? SelectedPrinter : request.target.Canonical();
  request.route = bad.Failed() ? RouteOfPrinter(SelectedPrinter) : request.target.Route();
  request.package = Package;
  request.enableCommand = EnableCommand != 0;
  // The model is asked only when the setting allows the command at all.
  request.modelFlag = request.enableCommand ? ModelFlag(SelectedPrinter) : 0;
  request.initItems = initItems;
  return request;
}
