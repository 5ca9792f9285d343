#pragma once
// The download command apart from any window: checks the input, asks the
// confirmations the printer and package call for, takes the printer's lock,
// runs the transfer, reports the outcome and logs a success. Every question
// goes through a message box routine, so the window, a test, an unattended
// run or the command-line front end answers them.
#include <QDateTime>

#include <functional>
#include <string>

#include "core/command/MessageBoxes.h"
#include "core/transfer/TransferRequest.h"

class TQUILLONApp;

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
  Busy,          // another download to the same printer is running
  Ready,         // CheckInput only: the input is complete, the package open
  Ran,           // the transfer ran; JobResult tells how it went
};

// What the start dialog asks (the program's message box dialog with its
// check box) and what the operator chose there.
struct TInitItemsChoice {
  int button = quillon::IDOK;
  bool checked = false;  // the check box: initialise the settings memory
  int initItems = 1;     // the items to initialise when checked
};

class TDownloadCommandCore {
 public:
  TDownloadCommandCore(TQUILLONApp& app, quillon::MessageBoxes& boxes);
  virtual ~TDownloadCommandCore();

  TDownloadOutcome ExecDownload(const TDownloadInputs& in);
  // The input checks and the package's reading: MissingInput, BadPackage
  // or Ready.
  TDownloadOutcome CheckInput(const TDownloadInputs& in);
  // 1 go on, 2 stop.
  int CheckBeforeDownload(const std::string& printer);
  // 1 when the operator accepted the start and the initialisation question.
  int ConfirmInitItems();
  int ReportResult();
  // Appends the line of a successful download; failures are ignored.
  void WriteDownloadLog(const TDownloadInputs& in);

  // Runs the transfer in place of the progress window (tests); it leaves
  // the result code in JobResult.
  std::function<void()> RunTransfer;
  // The last transfer's outcome, with its cause and byte count.
  TransferResult LastResult;
  // DownLoad.log; empty: DefaultLogPath().
  std::string LogPath;
  // The clock of the log's section names; unset: the local time now.
  std::function<QDateTime()> Now;

  // DownLoad.log in the program's folder for writable files.
  static std::string DefaultLogPath();
  // Section name of a log line: the short date, a blank, the long time.
  static std::string LogSection(const QDateTime& when);

 protected:
  // The transfer itself; by default RunTransfer.
  virtual void Transfer();
  // The start dialog. By default the box routine's dialog question; its
  // answerer may change the check box and the items. detailsEnabled: the
  // printer's model offers the items one by one.
  virtual TInitItemsChoice AskInitItems(const quillon::BoxQuestion& q, bool detailsEnabled);

  int MsgBox(const std::string& text, int style, int helpContext);
  int MsgBoxAlways(const std::string& text, int style, int helpContext);

  TQUILLONApp& app_;
  quillon::MessageBoxes& boxes_;
};
