// The package choice of the main window.
#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>

#include "core/app/QuillonApp.h"
#include "core/package/DownDocFile.h"
#include "resources/StringTable.h"
#include "core/command/FileSelection.h"
#include "core/command/ResultMessages.h"
#include "gui/TfrmMain.h"
#include "platform/WaitCursor.h"

using quillon::ResultMessageText;
using quillon::ResultText;
using quillon::kResultNotFirmwareFormat;

void TfrmMain::FileOpen() {
  const QString remembered = edtFileName->text();
  OpenDialog->selectFile(QString());
  const QStringList filters = OpenDialog->nameFilters();
  if (!filters.isEmpty()) OpenDialog->selectNameFilter(filters.first());
  OpenDialog->setDirectory(QString::fromStdString(app_.OpenFolder));
  ++commandDepth_;
  const int result = OpenDialog->exec();
  --commandDepth_;
  // The name field's completion list is a window of its own: Enter ends the
  // dialog but would leave the list standing over the printer list.
  for (QCompleter* completer : OpenDialog->findChildren<QCompleter*>()) {
    if (completer->popup()) completer->popup()->hide();
  }
  const QStringList chosen = OpenDialog->selectedFiles();
  if (result != QDialog::Accepted || chosen.isEmpty()) {
    OpenDialog->selectFile(remembered);
    return;
  }
  const QString fileName = chosen.first();
  app_.OpenFolder = quillon::FolderOfFile(fileName.toStdString());
  platform::WaitCursor wait;
  QCoreApplication::processEvents();
  LoadPackageFile(fileName);
  UpdateStatusText();
}

void TfrmMain::LoadPackageFile(const QString& fileName) {
  platform::WaitCursor wait;
  const std::string previous = edtFileName->text().toStdString();
  app_.OpenPackage(fileName.toStdString());
  const TDownDocFile* package = app_.GetPackage();
  const int status = package ? package->Status : 17;
  if (status != 0) {
    const ResultMessageText m = ResultMessage(status);
    MsgBox(ResultText(m), m.iconStyle, m.helpContext);
    // The panels keep the previous package; so does the application
    // object, so that the list, the status line and the download all
    // concern the package the window shows.
    if (!previous.empty()) app_.OpenPackage(previous);
    return;
  }
  if (package->HeaderValid != 1) {
    const ResultMessageText m = ResultMessage(kResultNotFirmwareFormat);
    MsgBox(ResultText(m), m.iconStyle, m.helpContext);
  }
  edtFileName->setText(fileName);
  ShowPackageState(package);
  LoadPrinterIcons();
  lstvwPrintersPaint();
}

void TfrmMain::edtFileNameChange() { pnlFileName->setText(edtFileName->text()); }

void TfrmMain::ShowPackageState(const TDownDocFile* package) {
  if (!package) return;
  pnlFileState->setText(QString::fromStdString(
      quillon::PackageStateText(package->DownLoadDesc, package->DownLoadVersion)));
}
