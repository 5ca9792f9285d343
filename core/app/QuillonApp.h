#pragma once
// The application object: one per process, built before the first window
// (settings read, model table loaded, command line applied, package
// opened) and writing the settings back when destroyed.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/app/ModelTable.h"
#include "core/app/PrinterEntry.h"
#include "core/package/DownDocFile.h"
#include "core/transfer/TransferRequest.h"

namespace platform { class PrinterHandle; }

class TQUILLONApp {
 public:
  // settingsPath: the settings file; empty means DefaultSettingsPath().
  // args: the program's arguments 1..n (without the program path).
  explicit TQUILLONApp(std::string settingsPath = std::string(),
                       std::vector<std::string> args = {});
  ~TQUILLONApp();
  TQUILLONApp(const TQUILLONApp&) = delete;
  TQUILLONApp& operator=(const TQUILLONApp&) = delete;

  // The program's application object: the first one built that still
  // lives, or nullptr.
  static TQUILLONApp* Instance();
  // QStandardPaths::AppConfigLocation + "/QUILLON.INI".
  static std::string DefaultSettingsPath();
  const std::string& SettingsPath() const { return settingsPath_; }

  // Fields; see the settings file and the command line for who writes them.
  // Shared read-only with the transfers that send it.
  std::shared_ptr<TDownDocFile> Package;
  std::int32_t WindowLeft = 80;
  std::int32_t WindowTop = 160;
  std::int32_t WindowWidth = 480;
  std::int32_t WindowHeight = 400;
  std::int32_t ColumnWidth[8] = {200, 60, 50, 40, 120, 0, 0, 0};
  std::int32_t ShowMessage = 1;
  std::int32_t EnableCommand = 1;
  std::int32_t AutoRun = 1;  // 0: download unattended and close (/NO)
  std::int32_t ViewLocal = 1;
  std::string PackageFileName;  // as given to OpenPackage, whole
  std::string OpenFolder;
  std::string SelectedPrinter;  // canonical (PrinterTarget::Canonical())
  // Why the printer of /PR= or /HN= was refused; empty when none was.
  std::string PrinterInputError;
  std::string FtpModel;
  std::string FtpVersion;
  std::unique_ptr<TDLPrinterList> Models;
  TPrinterEntry SelectedEntry{};
  // The command-line front end reads the settings but never writes them.
  bool SaveSettingsOnExit = true;

  // Replaces the open package by a newly opened one; merges the model rows
  // it brings. Its own Status tells how the opening went; with
  // DataRead::Later its data are read by the package's ReadPendingData().
  void OpenPackage(const std::string& path,
                   TDownDocFile::DataRead read = TDownDocFile::DataRead::Now);
  // The initialisation items a restart command resets when nobody chose
  // others: 1 menu settings (2 network, 4 permissions).
  static constexpr std::uint32_t kDefaultInitItems = 1;
  // A transfer of the open package to the selected printer, with the
  // settings as they stand now and the download's initialisation items
  // (what its questions answered: they belong to the one download).
  quillon::TransferRequest MakeTransferRequest(std::uint32_t initItems);
  TDownDocFile* GetPackage() const { return Package.get(); }
  const char* GetPackageFileName() const { return PackageFileName.c_str(); }
  void SetColumnWidth(int index, std::int32_t width);
  std::int32_t GetColumnWidth(int index) const;

  void ParseCommandLine();
  // Parses a printer given by option: selects its canonical spelling, or
  // selects none and keeps the reason in PrinterInputError.
  void SelectPrinterText(const std::string& option, const std::string& text);
  void LoadSettings();
  void SaveSettings();

  void SeedModelTable();
  void LoadModelTable();
  void MergePackageModels();
  int ResolveModel(TPrinterEntry& record) const;

  // The printer record and the questions asked about a printer (defined in
  // PrinterQueries.cpp). A name holding "ftp://" is a printer's FTP server,
  // any other name a spooler queue.
  int GetPrinterRecord(const char* name, TPrinterEntry& record);
  int ReadSpoolerRecord(platform::PrinterHandle& printer, TPrinterEntry& record);
  void SelectPrinter(const std::string& name);
  void SetFtpPrinterInfo(const std::string& model, const std::string& second);
  std::string GetModelName(const std::string& name);
  int IsPackageTarget(const std::string& name);
  int ModelFlag(const std::string& name);
  int IsKnownModel(const std::string& name);
  int CanUpdateOverConnection(const std::string& name);
  // Asks the operator for the model of the selected printer: true with the
  // chosen name, false when the question was cancelled. Set by the window
  // side; unset, no model is asked for.
  std::function<bool(std::string& model)> AskModel;
  // Asked while a printer's console query waits (at least every 200 ms):
  // true ends the query at once, as failed. Set by the window side (its
  // quit); unset, only the library's bounds end a query.
  std::function<bool()> ConsoleAborted;

 private:
  std::string settingsPath_;
  std::vector<std::string> args_;
};
