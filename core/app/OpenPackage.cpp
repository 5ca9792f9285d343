#include "core/app/QuillonApp.h"
#include "core/package/DownDocFile.h"

void TQUILLONApp::OpenPackage(const std::string& path) {
  Package.reset();
  // Kept whole, as it is opened: whoever compares or shows it later must
  // see the file that was opened, not a cut name of another one.
  PackageFileName = path;
  Package.reset(new TDownDocFile(path));
  if (!Package->PrinterTable.empty()) {
    MergePackageModels();
    LoadModelTable();
  }
}

TransferRequest TQUILLONApp::MakeTransferRequest() {
  TransferRequest request;
  request.printer = SelectedPrinter;
  request.route = RouteOfPrinter(SelectedPrinter);
  request.package = Package;
  request.enableCommand = EnableCommand != 0;
  // The model is asked only when the setting allows the command at all.
  request.modelFlag = request.enableCommand ? ModelFlag(SelectedPrinter) : 0;
  request.initItems = InitItems;
  return request;
}
