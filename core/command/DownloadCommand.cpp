#include "core/command/DownloadCommand.h"

#include <QLocale>

#include <sys/stat.h>

#include <cstdio>

#include "core/app/Funcs.h"
#include "core/app/ModelTable.h"
#include "core/app/PrinterLock.h"
#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"
#include "core/package/DownDocFile.h"
#include "platform/ProfileFile.h"
#include "resources/StringTable.h"
#include "core/command/MessageIds.h"
#include "core/command/ResultMessages.h"

using namespace quillon;

namespace {

bool FileAttributesReadable(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// The result code of a printer another download is using: to the operator
// it is a printer that cannot be opened.
constexpr std::uint16_t kPrinterInUse = kJobPrinterOpen;

// The styles of the command's boxes: a warning asking to go on (Cancel
// the default), a notice with OK and Cancel, a plain notice.
constexpr int kWarningQuestion = MB_HELP | MB_DEFBUTTON2 | MB_ICONQUESTION | MB_OKCANCEL;
constexpr int kNoticeOkCancel = MB_HELP | MB_ICONINFORMATION | MB_OKCANCEL;
constexpr int kNotice = MB_HELP | MB_ICONINFORMATION;

}  // namespace

TDownloadCommandCore::TDownloadCommandCore(TQUILLONApp& app, MessageBoxes& boxes)
    : app_(app), boxes_(boxes) {}

TDownloadCommandCore::~TDownloadCommandCore() = default;

int TDownloadCommandCore::MsgBox(const std::string& text, int style, int helpContext) {
  return boxes_.MsgBox(text, style, helpContext, app_.ShowMessage);
}

int TDownloadCommandCore::MsgBoxAlways(const std::string& text, int style, int helpContext) {
  return boxes_.MsgBoxAlways(text, style, helpContext);
}

TDownloadOutcome TDownloadCommandCore::CheckInput(const TDownloadInputs& in) {
  if (in.fileName.empty()) {
    MsgBoxAlways(LoadStr(msg::kChooseFile), MB_ICONINFORMATION, help::kNone);
    return TDownloadOutcome::MissingInput;
  }
  if (!FileAttributesReadable(in.fileName)) {
    MsgBoxAlways(LoadStr(msg::kFileNotFound), MB_ICONEXCLAMATION, help::kNone);
    return TDownloadOutcome::MissingInput;
  }
  if (in.printer.empty()) {
    MsgBoxAlways(LoadStr(msg::kChoosePrinter), MB_ICONINFORMATION, help::kNone);
    return TDownloadOutcome::MissingInput;
  }
  // The package in memory may be one whose opening failed after the window
  // last showed a good one: what is sent is always the file the window
  // names, read again when it is not the one in memory.
  if (!app_.GetPackage() || in.fileName != app_.GetPackageFileName()) {
    app_.OpenPackage(in.fileName);
    const int status = app_.GetPackage() ? static_cast<int>(app_.GetPackage()->Status) : kJobFileOpen;
    if (status != 0) {
      const TResultMessage m = ResultMessage(status);
      MsgBoxAlways(ResultText(m), m.iconStyle, m.helpContext);
      return TDownloadOutcome::BadPackage;
    }
  }
  return TDownloadOutcome::Ready;
}

TDownloadOutcome TDownloadCommandCore::ExecDownload(const TDownloadInputs& in) {
  const TDownloadOutcome input = CheckInput(in);
  if (input != TDownloadOutcome::Ready) return input;
  if (CheckBeforeDownload(in.printer) != IDOK) return TDownloadOutcome::Declined;

  {
    // One download per printer, also against the command-line front end
    // and other copies of the program.
    TPrinterLock lock;
    if (lock.Acquire(in.printer) != TPrinterLock::Outcome::Taken) {
      // The window's message stays; the cause goes to standard error.
      std::fprintf(stderr, "quillon: %s: %s\n", in.printer.c_str(), lock.Detail().c_str());
      LastResult = TransferResult();
      LastResult.code = kPrinterInUse;
      LastResult.detail = lock.Detail();
      app_.JobResult = kPrinterInUse;
      const TResultMessage m = ResultMessage(kPrinterInUse);
      MsgBoxAlways(ResultText(m), m.iconStyle, m.helpContext);
      return TDownloadOutcome::Busy;
    }
    Transfer();
  }

  ReportResult();
  if (app_.JobResult == 0) WriteDownloadLog(in);
  return TDownloadOutcome::Ran;
}

void TDownloadCommandCore::Transfer() {
  if (!RunTransfer) return;
  RunTransfer();
  LastResult = TransferResult();
  LastResult.code = app_.JobResult;
}

int TDownloadCommandCore::CheckBeforeDownload(const std::string& printer) {
  const std::string more = LoadStr(msg::kContinueQuestion);
  if (app_.IsPackageTarget(printer) == 0) {
    if (MsgBox(LoadStr(msg::kNotATarget) + more, kWarningQuestion, help::kNotATarget) != IDOK)
      return IDCANCEL;
  }
  const int ports = GetPortFlags(printer);
  if (ports & PORT_MULTIPLE) {
    if (MsgBox(LoadStr(msg::kSeveralPorts) + more, kWarningQuestion, help::kPortWarning) != IDOK)
      return IDCANCEL;
  }
  const int flag = app_.ModelFlag(printer);
  if (flag == 0) {
    if (ports & PORT_LPT) {
      if (MsgBox(LoadStr(msg::kEcpWarning), kNoticeOkCancel, help::kEcpPort) != IDOK)
        return IDCANCEL;
      if (MsgBox(LoadStr(msg::kSetDownloadMode), kNoticeOkCancel, help::kDownloadMode) != IDOK)
        return IDCANCEL;
    } else {
      if (MsgBox(LoadStr(msg::kParallelOnly), kWarningQuestion, help::kPortWarning) != IDOK)
        return IDCANCEL;
    }
  }
  int answer = IDOK;
  if (app_.EnableCommand == 1 && flag != 0) answer = ConfirmInitItems();
  return answer == IDOK ? IDOK : IDCANCEL;
}

TInitItemsChoice TDownloadCommandCore::AskInitItems(const BoxQuestion& q, bool /*detailsEnabled*/) {
  const BoxAnswer answer = boxes_.AskDialog(q);
  TInitItemsChoice choice;
  choice.button = answer.button;
  choice.checked = answer.checked >= 0 ? answer.checked != 0 : q.checked;
  // The dialog's items are 1 unless chosen one by one.
  choice.initItems = answer.initItems >= 0 ? answer.initItems : 1;
  return choice;
}

int TDownloadCommandCore::ConfirmInitItems() {
  BoxQuestion q;
  q.kind = BoxQuestion::Kind::Dialog;
  q.text = LoadStr(msg::kStartDownload);
  q.checkCaption = LoadStr(msg::kInitCheckCaption);
  q.checked = app_.InitItems != 0;
  q.style = MB_ICONQUESTION;
  q.helpContext = help::kInitSettings;
  const TInitItemsChoice choice =
      AskInitItems(q, IsDetailInitModel(FieldText(app_.SelectedEntry.Driver)));
  if (choice.button != IDOK) return choice.button;

  std::string text;
  int helpTopic;
  if (choice.checked) {
    app_.InitItems = static_cast<std::uint32_t>(choice.initItems);
    text = LoadStr(msg::kInitSettingsWarning);
    helpTopic = help::kInitSettings;
  } else {
    app_.InitItems = 0;
    text = LoadStr(msg::kNoInitSettingsWarning);
    helpTopic = help::kNoInitSettings;
  }
  text += '\n';
  if (const TDownDocFile* package = app_.GetPackage()) text += package->BeginMessage;
  return MsgBox(text, kNoticeOkCancel, helpTopic);
}

int TDownloadCommandCore::ReportResult() {
  const int code = app_.JobResult;
  const TResultMessage m = ResultMessage(code);
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
  } else if (code != kJobDirectory) {
    MsgBox(LoadStr(msg::kSwitchOffAdvice), kNotice, m.helpContext);
  }
  return button;
}

std::string TDownloadCommandCore::DefaultLogPath() {
  return TDownDocFile::DefaultIconFolder() + "DownLoad.log";
}

std::string TDownloadCommandCore::LogSection(const QDateTime& when) {
  const QLocale locale = QLocale::system();
  const QString text = locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                       locale.toString(when.time(), QLocale::LongFormat);
  return text.toStdString();
}

void TDownloadCommandCore::WriteDownloadLog(const TDownloadInputs& in) {
  const std::string path = LogPath.empty() ? DefaultLogPath() : LogPath;
  const QDateTime when = Now ? Now() : QDateTime::currentDateTime();
  const std::string key = in.packagePath + "," + in.packageState;
  // Parallel downloads of one package can end in the same second: the
  // later ones take "time (2)", "time (3)", ... instead of overwriting.
  std::string section = LogSection(when);
  const std::string missing = "\x01";
  for (int n = 2; n < 1000 && platform::GetPrivateProfileString(section, key, missing, path) != missing;
       ++n)
    section = LogSection(when) + " (" + std::to_string(n) + ")";
  platform::WritePrivateProfileString(section, key, in.printer + "," + in.port, path);
}
