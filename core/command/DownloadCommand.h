#pragma once
// The download command apart from any window: checks the input, asks the
// confirmations the printer and package call for, takes the printer's lock,
// runs the transfer, reports the outcome and logs a success. Every question
// goes through a message box routine, so the window, a test, an unattended
// run or the command-line front end answers them.
#include <QDateTime>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/command/DownloadChecks.h"
#include "core/command/MessageBoxes.h"
#include "core/transfer/TransferRequest.h"
#include "core/command/QuestionKinds.h"
#include "platform/Error.h"

#include "core/app/QuillonApp.h"

namespace quillon {

// What the window's controls show when the command starts.
struct DownloadInputs {
  std::string fileName;      // edtFileName: the package to download
  std::string packagePath;   // pnlFileName
  std::string packageState;  // pnlFileState: description and version
  std::string printer;       // pnlSelected
  std::string port;          // pnlSelPort
};

// The initialisation items the job's restart command will reset: none when
// no restart command is sent (the download command is off, the model does
// not take it, the package sends no restart); 0 resets nothing.
std::optional<int> SettingsResetItems(const TransferRequest& request);
// The items in words: "printer menu settings, network settings".
std::string InitItemsText(int items);

// How ExecDownload ended.
enum class DownloadOutcome {
  MissingInput,  // a box told the operator what is missing
  Declined,      // a confirmation was not given
  BadPackage,    // the package named by the window could not be read again
  Busy,          // another download to the same printer is running
  Ready,         // CheckInput only: the input is complete, the package open
  Ran,           // the transfer ran; LastResult tells how it went
};

// What the start dialog asks (the program's message box dialog with its
// check box) and what the operator chose there.
struct InitItemsChoice {
  int button = quillon::IDOK;
  bool checked = false;  // the check box: initialise the settings memory
  int initItems = 1;     // the items to initialise when checked
};

class DownloadCommandCore {
 public:
  DownloadCommandCore(TQUILLONApp& app, quillon::MessageBoxes& boxes);
  virtual ~DownloadCommandCore();

  DownloadOutcome ExecDownload(const DownloadInputs& in);
  // The input checks and the package's reading: MissingInput, BadPackage
  // or Ready.
  DownloadOutcome CheckInput(const DownloadInputs& in);
  // For a package opened with its data read later: reads them, told as
  // CheckInput tells a package that cannot be read (BadPackage or Ready).
  DownloadOutcome ReadPackageData();
  // What the checks decide on for the printer: its record (read once;
  // the selected printer's is the one read when it was selected), ports,
  // the package's targets and the settings.
  quillon::CheckInput ReadCheckInput(const std::string& printer);
  // Asks the check rows that apply, in order, through the box routine:
  // 1 go on, 2 stop. initItems: in, the items the start question offers
  // (checked when not 0); out, the items its answer chose (unchanged when
  // it was not asked or not accepted).
  int CheckBeforeDownload(const std::string& printer, std::uint32_t& initItems);
  int CheckBeforeDownload(const quillon::CheckInput& in, std::uint32_t& initItems);
  // 1 when the operator accepted the start and the initialisation question;
  // initItems as for CheckBeforeDownload.
  int ConfirmInitItems(std::uint32_t& initItems);
  // The result boxes of a transfer's code.
  int ReportResult(int code);
  // Adds the entry of a successful download to DownLoad.log. The window
  // ignores a failure (it has no message for it); the caller may tell it.
  platform::Error WriteDownloadLog(const DownloadInputs& in);
  // Adds one attempt (any result) to the download history: the package
  // path of in, the request's package (else the one open), printer and
  // initialisation items, the printer's model and the result. A failure is
  // returned, never raised: the download stands.
  // versionBefore: what the printer's console reported before the
  // transfer, when it was asked; rowId receives the row (for a later
  // verification).
  platform::Error RecordAttempt(const DownloadInputs& in, const TransferRequest& request,
                                const std::string& model, const TransferResult& result,
                                const std::optional<std::string>& versionBefore = std::nullopt,
                                std::int64_t* rowId = nullptr);
  // The model text of the selected printer (its driver or console model).
  std::string SelectedModel() const;

  // Runs the transfer in place of the progress window (tests); it leaves
  // its code, cause, bytes and duration in LastResult.
  std::function<void()> RunTransfer;
  // The initialisation items ExecDownload's start question offers: the
  // answer of the one before (the window offers the operator's last choice
  // again). Each download's own items travel in its request.
  std::uint32_t OfferedInitItems = TQUILLONApp::kDefaultInitItems;
  // The last transfer's outcome, with its cause and byte count.
  TransferResult LastResult;
  // Why CheckInput stopped, for the error stream: the errno text of a file
  // that cannot be found, a folder named as the package, the package's
  // status. Empty when it did not stop or a box says all there is.
  std::string InputDetail;
  // Why the last download's record (DownLoad.log, the history) was not
  // written; empty when it was.
  std::string RecordError;
  // DownLoad.log; empty: DefaultLogPath().
  std::string LogPath;
  // The history database; empty: its default in the data folder.
  std::string HistoryPath;
  // The clock of the log's section names; unset: the local time now.
  std::function<QDateTime()> Now;

  // DownLoad.log in the program's folder for writable files.
  static std::string DefaultLogPath();
  // Section name of a log line: the short date, a blank, the long time.
  static std::string LogSection(const QDateTime& when);

 protected:
  // The transfer of the job's request; by default RunTransfer.
  virtual void Transfer(const TransferRequest& request);
  // A cause the boxes do not tell (a missing file's errno text, a record
  // not written, a lock's failure): the front end says it where it can.
  // By default nothing: the core prints nothing itself.
  virtual void TellCause(const std::string& text);
  // The start dialog. By default the box routine's dialog question; its
  // answerer may change the check box and the items. detailsEnabled: the
  // printer's model offers the items one by one.
  virtual InitItemsChoice AskInitItems(const quillon::BoxQuestion& q, bool detailsEnabled);

  int MsgBox(const std::string& text, int style, int helpContext, int messageId = 0);
  int MsgBoxAlways(const std::string& text, int style, int helpContext);

  TQUILLONApp& app_;
  quillon::MessageBoxes& boxes_;

 private:
  // The open package's Status as CheckInput tells it.
  DownloadOutcome PackageOutcome(const std::string& fileName);
};

}  // namespace quillon
