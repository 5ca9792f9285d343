#include "core/app/QuillonApp.h"

#include <QStandardPaths>
#include <QString>

#include "core/package/DownDocFile.h"
#include "platform/ProfileFile.h"

namespace {
TQUILLONApp* g_instance = nullptr;
}  // namespace

TQUILLONApp::TQUILLONApp(std::string settingsPath, std::vector<std::string> args)
    : Models(std::make_unique<TDLPrinterList>()),
      settingsPath_(settingsPath.empty() ? DefaultSettingsPath() : std::move(settingsPath)),
      args_(std::move(args)) {
  g_instance = this;
  try {
    LoadSettings();
    LoadModelTable();
    ParseCommandLine();
  } catch (...) {
    g_instance = nullptr;
    throw;
  }
}

TQUILLONApp::~TQUILLONApp() {
  if (SaveSettingsOnExit) SaveSettings();
  Package.reset();
  Models.reset();
  if (g_instance == this) g_instance = nullptr;
}

TQUILLONApp* TQUILLONApp::Instance() { return g_instance; }

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
  ::SeedModelTable(ini);
  ini.Flush();
}

void TQUILLONApp::LoadModelTable() {
  platform::ProfileFile ini(settingsPath_);
  ::LoadModelTable(ini, *Models);
}

int TQUILLONApp::ResolveModel(TPrinterEntry& record) const { return ::ResolveModel(*Models, record); }

void TQUILLONApp::MergePackageModels() {
  if (!Package || Package->PrinterTable.empty()) return;
  platform::ProfileFile ini(settingsPath_);
  ::MergePackageModels(ini, Package->PrinterTable);
}
