#pragma once
// The download command of the main window, apart from the window: checks
// the input, asks the confirmations the printer and package call for, runs
// the transfer, reports the outcome and logs a success. Every question goes
// through the program's message box routine, so a test or an unattended
// run answers them without a person.
#include <QDateTime>

#include <functional>
#include <string>

class TDlgMsgBox;
class TQUILLONApp;
namespace quillon { class MessageBoxes; }

// What the window's controls show when the command starts.
struct TDownloadInputs {
  std::string fileName;      // edtFileName: the package to download
  std::string packagePath;   // pnlFileName
  std::string packageState;  // pnlFileState: description and version
  std::string printer;       // pnlSelected
  std::string port;          // pnlSelPort
};

// How ExecDownload ended.
enum class TDownloadOutcome {
  MissingInput,  // a box told the operator what is missing
  Declined,      // a confirmation was not given
  BadPackage,    // the package named by the window could not be read again
  Ran,           // the transfer ran; JobResult tells how it went
};

class TDownloadCommand {
 public:
  TDownloadCommand(TQUILLONApp& app, quillon::MessageBoxes& boxes);

  TDownloadOutcome ExecDownload(const TDownloadInputs& in);
  // 1 go on, 2 stop.
  int CheckBeforeDownload(const std::string& printer);
  // 1 when the operator accepted the start and the initialisation question.
  int ConfirmInitItems();
  int ReportResult();
  // Appends the line of a successful download; failures are ignored.
  void WriteDownloadLog(const TDownloadInputs& in);

  // The program's message box dialog; nullptr: the program's one.
  TDlgMsgBox* Dialog = nullptr;
  // Shows the progress window modally; the output thread leaves JobResult.
  // Unset: the program's progress window.
  std::function<void()> RunTransfer;
  // DownLoad.log; empty: DefaultLogPath().
  std::string LogPath;
  // The clock of the log's section names; unset: the local time now.
  std::function<QDateTime()> Now;

  // DownLoad.log in the program's folder for writable files.
  static std::string DefaultLogPath();
  // Section name of a log line: the short date, a blank, the long time.
  static std::string LogSection(const QDateTime& when);

 private:
  int MsgBox(const std::string& text, int style, int helpContext);
  int MsgBoxAlways(const std::string& text, int style, int helpContext);

  TQUILLONApp& app_;
  quillon::MessageBoxes& boxes_;
};
