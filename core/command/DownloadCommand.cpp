#include "core/command/DownloadCommand.h"

#include <QLocale>

#include <sys/stat.h>

#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "core/app/Funcs.h"
#include "core/app/ModelTable.h"
#include "core/app/PrinterLock.h"
#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"
#include "core/package/DownDocFile.h"
#include "platform/ProfileFile.h"
#include "resources/StringTable.h"
#include "core/command/DownloadChecks.h"
#include "core/command/DownloadJob.h"
#include "core/command/MessageIds.h"
#include "core/command/ResultMessages.h"
#include "core/history/DownloadHistory.h"
#include "core/history/DownloadLog.h"

namespace quillon {

namespace {

// Whether the file's attributes can be read; why not, in detail.
bool FileAttributesReadable(const std::string& path, std::string& detail) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    detail = path + ": " + std::strerror(errno);
    return false;
  }
  if (S_ISDIR(st.st_mode)) detail = path + ": is a directory, not a package file";
  return true;
}

// The result code of a printer another download is using: to the operator
// it is a printer that cannot be opened.
constexpr std::uint16_t kPrinterInUse = kJobPrinterOpen;

// The styles of the command's own boxes (the checks' are in their rows):
// a notice with OK and Cancel, a plain notice.
constexpr int kNoticeOkCancel = MB_HELP | MB_ICONINFORMATION | MB_OKCANCEL;
constexpr int kNotice = MB_HELP | MB_ICONINFORMATION;

}  // namespace

std::optional<int> SettingsResetItems(const TransferRequest& request) {
  // The items travel only in the restart command of a wrapped job.
  if (!request.WithCommand() || !request.package || request.package->Reboot == 0)
    return std::nullopt;
  return static_cast<int>(request.initItems & 7u);
}

std::string InitItemsText(int items) {
  std::string text;
  const auto add = [&text](const char* what) { text += (text.empty() ? "" : ", ") + std::string(what); };
  if (items & 1) add("printer menu settings");
  if (items & 2) add("network settings");
  if (items & 4) add("permission settings");
  return text.empty() ? "nothing" : text;
}

DownloadCommandCore::DownloadCommandCore(TQUILLONApp& app, MessageBoxes& boxes)
    : app_(app), boxes_(boxes) {}

DownloadCommandCore::~DownloadCommandCore() = default;

int DownloadCommandCore::MsgBox(const std::string& text, int style, int helpContext,
                                 int messageId) {
  return boxes_.MsgBox(text, style, helpContext, app_.ShowMessage, messageId);
}

int DownloadCommandCore::MsgBoxAlways(const std::string& text, int style, int helpContext) {
  return boxes_.MsgBoxAlways(text, style, helpContext);
}

DownloadOutcome DownloadCommandCore::CheckInput(const DownloadInputs& in) {
  InputDetail.clear();
  if (in.fileName.empty()) {
    MsgBoxAlways(LoadStr(msg::kChooseFile), MB_ICONINFORMATION, help::kNone);
    return DownloadOutcome::MissingInput;
  }
  if (!FileAttributesReadable(in.fileName, InputDetail)) {
    MsgBoxAlways(LoadStr(msg::kFileNotFound), MB_ICONEXCLAMATION, help::kNone);
    return DownloadOutcome::MissingInput;
  }
  if (in.printer.empty()) {
    MsgBoxAlways(LoadStr(msg::kChoosePrinter), MB_ICONINFORMATION, help::kNone);
    return DownloadOutcome::MissingInput;
  }
  // The package in memory may be one whose opening failed after the window
  // last showed a good one: what is sent is always the file the window
  // names, read again when it is not the one in memory. A package whose
  // own opening failed (one named on the command line) is never sent.
  if (!app_.GetPackage() || in.fileName != app_.GetPackageFileName())
    app_.OpenPackage(in.fileName);
  return PackageOutcome(in.fileName);
}

DownloadOutcome DownloadCommandCore::ReadPackageData() {
  InputDetail.clear();
  if (TDownDocFile* package = app_.GetPackage()) package->ReadPendingData();
  return PackageOutcome(app_.GetPackageFileName());
}

DownloadOutcome DownloadCommandCore::PackageOutcome(const std::string& fileName) {
  const int status = app_.GetPackage() ? static_cast<int>(app_.GetPackage()->Status) : kJobFileOpen;
  if (status != 0) {
    if (InputDetail.empty()) InputDetail = fileName + ": " + ResultText(ResultMessage(status));
    const ResultMessageText m = ResultMessage(status);
    MsgBoxAlways(ResultText(m), m.iconStyle, m.helpContext);
    return DownloadOutcome::BadPackage;
  }
  return DownloadOutcome::Ready;
}

DownloadOutcome DownloadCommandCore::ExecDownload(const DownloadInputs& in) {
  RecordError.clear();
  const DownloadOutcome input = CheckInput(in);
  if (input != DownloadOutcome::Ready) {
    // The box keeps its text; the reason goes to the front end.
    if (!InputDetail.empty()) TellCause(InputDetail);
    return input;
  }
  std::uint32_t initItems = OfferedInitItems;
  const int checked = CheckBeforeDownload(in.printer, initItems);
  OfferedInitItems = initItems;
  if (checked != IDOK) return DownloadOutcome::Declined;

  // One download per printer, also against the command-line front end and
  // other copies of the program: the job's lock. The transfer is the
  // window's own (the progress dialog, or a stand-in).
  DownloadJobRequest request;
  request.transfer = app_.MakeTransferRequest(initItems);
  request.printer = in.printer;
  request.inputs = in;
  request.model = SelectedModel();
  request.logPath = LogPath;
  request.historyPath = HistoryPath;
  request.now = Now;
  request.runTransfer = [this](const TransferRequest& transfer) {
    LastResult = TransferResult();
    Transfer(transfer);
    return LastResult;
  };
  DownloadJob job(std::move(request));
  const bool started = job.Start();
  const DownloadJobResult& result = started ? job.Finish() : job.Result();
  LastResult = result.transfer;
  // Recorded as the transfer ended, before any box: a crash or a kill
  // while the operator reads the result keeps the record.
  if (!result.logError.empty()) {
    RecordError = "DownLoad.log was not written: " + result.logError;
    TellCause(RecordError);
  }
  if (!result.historyError.empty()) {
    const std::string why = "the download history was not written: " + result.historyError;
    TellCause(why);
    RecordError += (RecordError.empty() ? "" : "; ") + why;
  }
  if (!started) {
    // The window's message stays; the cause goes to the front end.
    TellCause(in.printer + ": " + result.transfer.detail);
    const ResultMessageText m = ResultMessage(kPrinterInUse);
    MsgBoxAlways(ResultText(m), m.iconStyle, m.helpContext);
    return DownloadOutcome::Busy;
  }
  ReportResult(LastResult.code);
  return DownloadOutcome::Ran;
}

void DownloadCommandCore::TellCause(const std::string& /*text*/) {}

void DownloadCommandCore::Transfer(const TransferRequest& /*request*/) {
  // A stand-in transfer leaves its outcome in LastResult.
  if (RunTransfer) RunTransfer();
}

std::string DownloadCommandCore::SelectedModel() const {
  return std::string(FieldText(app_.SelectedEntry.Driver));
}

quillon::CheckInput DownloadCommandCore::ReadCheckInput(const std::string& printer) {
  quillon::CheckInput in;
  // The selected printer's record was read when it was selected (and its
  // console asked, for an FTP printer); any other is read here, once.
  if (printer == app_.SelectedPrinter)
    in.printer = app_.SelectedEntry;
  else
    app_.GetPrinterRecord(printer.c_str(), in.printer);
  app_.ResolveModel(in.printer);
  in.portFlags = GetPortFlags(printer);
  if (const TDownDocFile* package = app_.GetPackage()) in.targets = package->PrinterList;
  in.models = app_.Models.get();
  in.withCommand = app_.EnableCommand == 1;
  return in;
}

int DownloadCommandCore::CheckBeforeDownload(const std::string& printer, std::uint32_t& initItems) {
  return CheckBeforeDownload(ReadCheckInput(printer), initItems);
}

int DownloadCommandCore::CheckBeforeDownload(const quillon::CheckInput& in, std::uint32_t& initItems) {
  for (const DownloadCheck* row : ApplicableChecks(in)) {
    if (row->messageId == 0) continue;  // inspected only, no box
    int answer;
    if (row->startDialog) {
      answer = ConfirmInitItems(initItems);
    } else {
      std::string text = LoadStr(row->messageId);
      if (row->continueQuestion) text += LoadStr(msg::kContinueQuestion);
      answer = MsgBox(text, row->style, row->helpContext, row->messageId);
    }
    if (answer != IDOK) return IDCANCEL;
  }
  return IDOK;
}

InitItemsChoice DownloadCommandCore::AskInitItems(const BoxQuestion& q, bool /*detailsEnabled*/) {
  const BoxAnswer answer = boxes_.AskDialog(q);
  InitItemsChoice choice;
  choice.button = answer.button;
  choice.checked = answer.checked >= 0 ? answer.checked != 0 : q.checked;
  // The dialog's items are 1 unless chosen one by one.
  choice.initItems = answer.initItems >= 0 ? answer.initItems : 1;
  return choice;
}

int DownloadCommandCore::ConfirmInitItems(std::uint32_t& initItems) {
  BoxQuestion q;
  q.kind = BoxQuestion::Kind::Dialog;
  q.text = LoadStr(msg::kStartDownload);
  q.checkCaption = LoadStr(msg::kInitCheckCaption);
  q.checked = initItems != 0;
  const DownloadCheck* row = CheckOfMessage(msg::kStartDownload);
  q.style = row->style;
  q.helpContext = row->helpContext;
  q.messageId = row->messageId;
  const InitItemsChoice choice =
      AskInitItems(q, IsDetailInitModel(FieldText(app_.SelectedEntry.Driver)));
  if (choice.button != IDOK) return choice.button;

  std::string text;
  int helpTopic;
  int id;
  if (choice.checked) {
    initItems = static_cast<std::uint32_t>(choice.initItems);
    text = LoadStr(msg::kInitSettingsWarning);
    helpTopic = help::kInitSettings;
    id = msg::kInitSettingsWarning;
  } else {
    initItems = 0;
    text = LoadStr(msg::kNoInitSettingsWarning);
    helpTopic = help::kNoInitSettings;
    id = msg::kNoInitSettingsWarning;
  }
  text += '\n';
  if (const TDownDocFile* package = app_.GetPackage()) text += package->BeginMessage;
  return MsgBox(text, kNoticeOkCancel, helpTopic, id);
}

int DownloadCommandCore::ReportResult(int code) {
  const ResultMessageText m = ResultMessage(code);
  const int button = MsgBox(ResultText(m), m.iconStyle | MB_HELP, m.helpContext);
  if (code == 0) {
    std::string text;
    if (app_.EnableCommand == 1) {
      if (const TDownDocFile* package = app_.GetPackage()) text = package->DoneMessage;
      if (text.empty()) text = LoadStr(msg::kWaitForRestart);
    } else {
      text = LoadStr(msg::kBareDataAdvice);
    }
    MsgBox(text, kNotice, help::kAfterDownload);
  } else if (const std::string advice = ResultAdvice(code, LastResult.detail); !advice.empty()) {
    MsgBox(advice, kNotice, m.helpContext);
  }
  return button;
}

std::string DownloadCommandCore::DefaultLogPath() {
  return TDownDocFile::DefaultIconFolder() + "DownLoad.log";
}

std::string DownloadCommandCore::LogSection(const QDateTime& when) {
  const QLocale locale = QLocale::system();
  const QString text = locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                       locale.toString(when.time(), QLocale::LongFormat);
  return text.toStdString();
}

platform::Error DownloadCommandCore::WriteDownloadLog(const DownloadInputs& in) {
  return WriteDownloadLogEntry(LogPath, Now ? Now() : QDateTime::currentDateTime(), in);
}

platform::Error DownloadCommandCore::RecordAttempt(const DownloadInputs& in,
                                                    const TransferRequest& request,
                                                    const std::string& model,
                                                    const TransferResult& result,
                                                    const std::optional<std::string>& versionBefore,
                                                    std::int64_t* rowId) {
  TransferRequest sent = request;
  if (!sent.package) sent.package = app_.Package;
  return RecordDownloadAttempt(HistoryPath, Now ? Now() : QDateTime::currentDateTime(), in, sent,
                               model, result, versionBefore, rowId);
}

}  // namespace quillon
