#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"
#include "core/package/DownDocFile.h"

void TDownDocFileDeleter::operator()(TDownDocFile* doc) const { delete doc; }

void TQUILLONApp::OpenPackage(const std::string& path) {
  Package.reset();
  SetField(PackageFileName, path);
  // The whole path is opened: a cut one could name another file.
  Package.reset(new TDownDocFile(path));
  if (!Package->PrinterTable.empty()) {
    MergePackageModels();
    LoadModelTable();
  }
}
