#include "core/app/QuillonApp.h"

#include <QStandardPaths>
#include <QString>

#include <algorithm>
#include <vector>

#include "core/package/DownDocFile.h"
#include "platform/ProfileFile.h"

using quillon::LoadModelTable;

namespace {
// Living application objects in the order they were built: the program's
// own comes first, whatever a test or tool builds beside it.
std::vector<TQUILLONApp*>& Living() {
  static std::vector<TQUILLONApp*> living;
  return living;
}
void Forget(TQUILLONApp* app) {
  auto& living = Living();
  living.erase(std::remove(living.begin(), living.end(), app), living.end());
}
}  // namespace

TQUILLONApp::TQUILLONApp(std::string settingsPath, std::vector<std::string> args)
    : Models(std::make_unique<TDLPrinterList>()),
      settingsPath_(settingsPath.empty() ? DefaultSettingsPath() : std::move(settingsPath)),
      args_(std::move(args)) {
  Living().push_back(this);
  try {
    LoadSettings();
    LoadModelTable();
    ParseCommandLine();
  } catch (...) {
    Forget(this);
    throw;
  }
}

TQUILLONApp::~TQUILLONApp() {
  if (SaveSettingsOnExit) SaveSettings();
  Package.reset();
  Models.reset();
  Forget(this);
}

TQUILLONApp* TQUILLONApp::Instance() { return Living().empty() ? nullptr : Living().front(); }

std::string TQUILLONApp::DefaultSettingsPath() {
  return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation).toStdString() +
         "/QUILLON.INI";
}

void TQUILLONApp::SetColumnWidth(int index, std::int32_t width) {
  if (index < 0 || index > 7) return;
  if (ColumnWidth[index] != width) ColumnWidth[index] = width;
}

std::int32_t TQUILLONApp::GetColumnWidth(int index) const {
  return (index < 0 || index > 7) ? 0 : ColumnWidth[index];
}

void TQUILLONApp::SeedModelTable() {
  platform::ProfileFile ini(settingsPath_);
  quillon::SeedModelTable(ini);
  ini.Flush();
}

void TQUILLONApp::LoadModelTable() {
  platform::ProfileFile ini(settingsPath_);
  quillon::LoadModelTable(ini, *Models);
}

int TQUILLONApp::ResolveModel(TPrinterEntry& record) const { return ::ResolveModel(*Models, record); }

void TQUILLONApp::MergePackageModels() {
  if (!Package || Package->PrinterTable.empty()) return;
  platform::ProfileFile ini(settingsPath_);
  quillon::MergePackageModels(ini, Package->PrinterTable);
}
