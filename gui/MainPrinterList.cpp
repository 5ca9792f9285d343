// The local view of the main window: the list of the spooler's printers,
// the selected printer's details and the status line.
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>

#include <string>
#include <vector>

#include "core/app/ConsoleAsk.h"
#include "core/app/Funcs.h"
#include "core/app/PrinterRows.h"
#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"
#include "resources/StringTable.h"
#include "gui/MainGlyphs.h"
#include "gui/ProgramBoxes.h"
#include "gui/PrinterIcons.h"
#include "gui/ConsoleWait.h"
#include "gui/TfrmMain.h"
#include "platform/Text.h"
#include "platform/WaitCursor.h"

using platform::SameTextNoCase;
using quillon::FieldText;
using quillon::LoadStr;
using quillon::PrinterRow;
using quillon::PrinterTarget;
using quillon::ReadPrinterRows;

namespace {

// Rows sort by caption with the locale's comparison, letter case counting.
class PrinterItem : public QTreeWidgetItem {
 public:
  using QTreeWidgetItem::QTreeWidgetItem;
  bool operator<(const QTreeWidgetItem& other) const override {
    return QString::localeAwareCompare(text(0), other.text(0)) < 0;
  }
};


}  // namespace

void TfrmMain::LoadPrinterIcons() {
  imglstIcons = quillon::LoadPrinterIcons(app_, &iconFileIndexes_);
}

void TfrmMain::lstvwPrintersPaint() {
  const bool wasVisible = !lstvwPrinters->isHidden();
  platform::WaitCursor wait;
  listChangeAttached_ = false;
  lstvwPrinters->setVisible(false);
  lstvwPrinters->setSortingEnabled(false);
  lstvwPrinters->clear();

  // Every queue's record and answers in one pass: the spooler is asked once
  // per refresh, not once per row and question.
  std::vector<PrinterRow> printers;
  if (ReadPrinterRows(app_, printers) != 0) {
    MsgBoxAlways(LoadStr(4354), quillon::MB_ICONINFORMATION, 0);
    printers.clear();
  }
  listedNames_.clear();
  for (const PrinterRow& printer : printers) listedNames_.push_back(printer.name);

  const bool havePackage = app_.GetPackage() != nullptr;
  const QPixmap generic = imglstIcons.isEmpty() ? quillon::GenericPrinterPixmap()
                                                : imglstIcons.first().pixmap(32, 32);
  std::vector<QTreeWidgetItem*> rows;
  rows.reserve(printers.size());
  for (const PrinterRow& printer : printers) {
    const TPrinterEntry& record = printer.record;
    auto* item = new PrinterItem(lstvwPrinters);
    item->setText(0, QString::fromStdString(printer.name));
    item->setText(1, QString::fromUtf8(FieldText(record.Driver).data(),
                                       static_cast<int>(FieldText(record.Driver).size())));
    item->setText(2, QString::fromUtf8(record.Port));
    item->setText(3, QString::fromUtf8(record.Location));
    item->setText(4, QString::fromUtf8(record.Comment));
    const std::string key =
        quillon::ImageKeyOfModel(record.Code, FieldText(record.CodeText), iconFileIndexes_);
    const int index = quillon::ImageIndexOfKey(key);
    bool ghosted = !printer.updatable;
    if (havePackage && !printer.packageTarget) ghosted = true;

    const QPixmap image = (index > 0 && index < imglstIcons.size())
                              ? imglstIcons[index].pixmap(32, 32)
                              : generic;
    item->setIcon(0, quillon::UntintedIcon(ghosted ? quillon::GhostedPixmap(image) : image));
    item->setData(0, kImageKeyRole, QString::fromStdString(key));
    item->setData(0, kImageIndexRole, index);
    item->setData(0, kGhostedRole, ghosted);
    rows.push_back(item);
  }

  listChangeAttached_ = true;

  const std::string selected = pnlSelected->text().toStdString();
  for (QTreeWidgetItem* item : rows) {
    if (SameTextNoCase(item->text(0).toStdString(), selected)) {
      lstvwPrinters->setCurrentItem(item);
      item->setSelected(true);
      break;
    }
  }

  lstvwPrinters->setVisible(wasVisible);
  lstvwPrinters->sortItems(0, Qt::AscendingOrder);
}

void TfrmMain::SetLocalView(int mode) {
  bool show = true;
  if (mode == 0) show = !PM_Local->isChecked();
  else if (mode == 2) show = false;
  PM_Local->setChecked(show);
  MV_LOCAL->setChecked(show);
  lstvwPrinters->setVisible(show);
}

void TfrmMain::PM_LocalClick() { SetLocalView(0); }

void TfrmMain::lstvwPrintersChange(QTreeWidgetItem* item) {
  if (!item) return;
  pnlSelected->setText(item->text(0));
  app_.SelectPrinter(pnlSelected->text().toStdString());
  ShowSelectedPrinter();
}

void TfrmMain::ShowSelectedPrinter() {
  const TPrinterEntry& e = app_.SelectedEntry;
  pnlSelDrv->setText(QString::fromUtf8(e.Driver));
  pnlSelPort->setText(QString::fromUtf8(e.Port));
  pnlSelPlace->setText(QString::fromUtf8(e.Location));
  pnlSelComment->setText(QString::fromUtf8(e.Comment));
  pnlSelVer->setText(QString::fromUtf8(FieldText(e.Version).data(),
                                       static_cast<int>(FieldText(e.Version).size())));
  const int image =
      quillon::ImageIndexOfKey(quillon::ImageKeyOfModel(e.Code, FieldText(e.CodeText), iconFileIndexes_));
  const int index = (image > 0 && image < imglstIcons.size()) ? image : 0;
  imgSelIcon->setPixmap(imglstIcons.isEmpty() ? quillon::GenericPrinterPixmap()
                                              : imglstIcons[index].pixmap(32, 32));
  imgMask->setVisible(false);
  UpdateStatusText();
}

void TfrmMain::UpdateStatusText() {
  std::string text;
  const std::string name = pnlSelected->text().toStdString();
  if (!name.empty()) {
    if (app_.CanUpdateOverConnection(name) == 0) text = LoadStr(4179);
    if (app_.IsKnownModel(name) == 0) text = LoadStr(4177);
    if (app_.GetPackage() && app_.IsPackageTarget(name) == 0) text = LoadStr(4178);
  }
  if (text.empty())
    StatusBar->clearMessage();
  else
    StatusBar->showMessage(QString::fromStdString(text));
}

void TfrmMain::OnUpdate() {
  platform::WaitCursor wait;
  const std::string selected = pnlSelected->text().toStdString();
  PrinterTarget target;
  if (!PrinterTarget::Parse(selected, &target).Failed() && target.IsFtp()) {
    // Cut by a quit signal or the window's close box: the query blocks this thread.
    const quillon::ConsoleReply reply =
        quillon::AskPrinterConsole(target.Host(), &quillon::ConsoleWaitAborted);
    if (reply.answered) app_.SetFtpPrinterInfo(reply.model, reply.version);
  }
  lstvwPrintersPaint();
  ShowSelectedPrinter();
}

void TfrmMain::btnPrintersClick() {
  PopupMenu1->popup(btnPrinters->mapToGlobal(QPoint(0, 0)));
}

bool TfrmMain::CheckPrinterSet() {
  // A refresh selects a printer again, which must not happen while the
  // output thread reads the selection or while a dialog waits for an answer.
  if (commandDepth_ > 0 || QApplication::activeModalWidget() || quillon::InConsoleWait()) return false;
  std::vector<std::string> names;
  if (EnumPrinterNames(names) != 0) return false;
  if (names == listedNames_) return false;
  lstvwPrintersPaint();
  UpdateStatusText();
  return true;
}
