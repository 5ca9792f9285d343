#include "ui/DownloadCommand.h"

#include <QCheckBox>
#include <QLocale>
#include <QPushButton>

#include <sys/stat.h>

#include <memory>

#include "app/Funcs.h"
#include "app/ModelTable.h"
#include "app/QuillonApp.h"
#include "app/TextUtil.h"
#include "download/DownDocFile.h"
#include "download/gui/PrntView.h"
#include "platform/ProfileFile.h"
#include "resources/StringTable.h"
#include "ui/DlgMsgBox.h"
#include "ui/MessageBoxes.h"
#include "ui/core/ResultMessages.h"

using namespace quillon;

namespace {

bool FileAttributesReadable(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

TDownloadCommand::TDownloadCommand(TQUILLONApp& app, MessageBoxes& boxes)
    : app_(app), boxes_(boxes) {}

int TDownloadCommand::MsgBox(const std::string& text, int style, int helpContext) {
  return boxes_.MsgBox(text, style, helpContext, app_.ShowMessage);
}

int TDownloadCommand::MsgBoxAlways(const std::string& text, int style, int helpContext) {
  return boxes_.MsgBoxAlways(text, style, helpContext);
}

TDownloadOutcome TDownloadCommand::ExecDownload(const TDownloadInputs& in) {
  if (in.fileName.empty()) {
    MsgBoxAlways(LoadStr(4355), MB_ICONINFORMATION, 0);
    return TDownloadOutcome::MissingInput;
  }
  if (!FileAttributesReadable(in.fileName)) {
    MsgBoxAlways(LoadStr(4352), MB_ICONEXCLAMATION, 0);
    return TDownloadOutcome::MissingInput;
  }
  if (in.printer.empty()) {
    MsgBoxAlways(LoadStr(4356), MB_ICONINFORMATION, 0);
    return TDownloadOutcome::MissingInput;
  }
  // The package in memory may be one whose opening failed after the window
  // last showed a good one: what is sent is always the file the window
  // names, read again when it is not the one in memory.
  if (!app_.GetPackage() || in.fileName != app_.GetPackageFileName()) {
    app_.OpenPackage(in.fileName);
    const int status = app_.GetPackage() ? app_.GetPackage()->Status : 17;
    if (status != 0) {
      const TResultMessage m = ResultMessage(status);
      MsgBoxAlways(ResultText(m), m.iconStyle, m.helpContext);
      return TDownloadOutcome::BadPackage;
    }
  }
  if (CheckBeforeDownload(in.printer) != IDOK) return TDownloadOutcome::Declined;

  if (RunTransfer) {
    RunTransfer();
  } else if (frmPrntView) {
    frmPrntView->exec();
  } else {
    TfrmPrntView view(nullptr, &app_);
    view.exec();
  }

  ReportResult();
  if (app_.JobResult == 0) WriteDownloadLog(in);
  return TDownloadOutcome::Ran;
}

int TDownloadCommand::CheckBeforeDownload(const std::string& printer) {
  const std::string more = LoadStr(4102);
  if (app_.IsPackageTarget(printer) == 0) {
    if (MsgBox(LoadStr(4103) + more, 0x4121, 1011) != IDOK) return IDCANCEL;
  }
  const int ports = GetPortFlags(printer);
  if (ports & PORT_MULTIPLE) {
    if (MsgBox(LoadStr(4104) + more, 0x4121, 1012) != IDOK) return IDCANCEL;
  }
  const int flag = app_.ModelFlag(printer);
  if (flag == 0) {
    if (ports & PORT_LPT) {
      if (MsgBox(LoadStr(4107), 0x4041, 1020) != IDOK) return IDCANCEL;
      if (MsgBox(LoadStr(4106), 0x4041, 1015) != IDOK) return IDCANCEL;
    } else {
      if (MsgBox(LoadStr(4105), 0x4121, 1012) != IDOK) return IDCANCEL;
    }
  }
  int answer = IDOK;
  if (app_.EnableCommand == 1 && flag != 0) answer = ConfirmInitItems();
  return answer == IDOK ? IDOK : IDCANCEL;
}

int TDownloadCommand::ConfirmInitItems() {
  std::unique_ptr<TDlgMsgBox> own;
  TDlgMsgBox* dialog = Dialog ? Dialog : DlgMsgBox;
  if (!dialog) {
    own = std::make_unique<TDlgMsgBox>();
    dialog = own.get();
  }
  dialog->Button1->setVisible(false);
  dialog->Button1->setEnabled(IsDetailInitModel(FieldText(app_.SelectedEntry.Driver)));
  const int result =
      dialog->ShowDialog(LoadStr(4101), LoadStr(4124), app_.InitItems != 0 ? 1 : 0,
                         MB_ICONQUESTION, 1031);
  if (result != IDOK) return result;

  std::string text;
  int help;
  if (dialog->CheckBox1->isChecked()) {
    app_.InitItems = static_cast<std::uint32_t>(dialog->InitItems);
    text = LoadStr(4193);
    help = 1031;
  } else {
    app_.InitItems = 0;
    text = LoadStr(4194);
    help = 1032;
  }
  text += '\n';
  if (const TDownDocFile* package = app_.GetPackage()) text += package->BeginMessage;
  return MsgBox(text, 0x4041, help);
}

int TDownloadCommand::ReportResult() {
  const int code = app_.JobResult;
  const TResultMessage m = ResultMessage(code);
  const int button = MsgBox(ResultText(m), m.iconStyle | MB_HELP, m.helpContext);
  if (code == 0) {
    std::string text;
    if (app_.EnableCommand == 1) {
      if (const TDownDocFile* package = app_.GetPackage()) text = package->DoneMessage;
      if (text.empty()) text = LoadStr(4121);
    } else {
      text = LoadStr(4122);
    }
    MsgBox(text, 0x4040, 1016);
  } else if (code != 35) {
    MsgBox(LoadStr(4120), 0x4040, m.helpContext);
  }
  return button;
}

std::string TDownloadCommand::DefaultLogPath() {
  return TDownDocFile::DefaultIconFolder() + "DownLoad.log";
}

std::string TDownloadCommand::LogSection(const QDateTime& when) {
  const QLocale locale = QLocale::system();
  const QString text = locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                       locale.toString(when.time(), QLocale::LongFormat);
  return text.toStdString();
}

void TDownloadCommand::WriteDownloadLog(const TDownloadInputs& in) {
  const std::string path = LogPath.empty() ? DefaultLogPath() : LogPath;
  const QDateTime when = Now ? Now() : QDateTime::currentDateTime();
  platform::WritePrivateProfileString(LogSection(when), in.packagePath + "," + in.packageState,
                                      in.printer + "," + in.port, path);
}
