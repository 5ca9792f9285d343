// The network and FTP views of the main window: a printer chosen in the
// network browse or addressed by FTP becomes the selected printer, and the
// list of the spooler's printers steps aside.
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>

#include <cstdint>
#include <string>

#include "core/app/QuillonApp.h"
#include "netlib/quillon.h"
#include "resources/StringTable.h"
#include "gui/ProgramBoxes.h"
#include "gui/FtpConnect.h"
#include "gui/TfrmMain.h"

using quillon::LoadStr;
using quillon::PrinterTarget;

namespace {

// The FTP printer's name as the rest of the program knows it: the
// dialog's target in its one spelling (OK is given for a good one only).
std::string FtpPrinterName(const TFtpConnect& dlg) {
  PrinterTarget target;
  return dlg.Target(&target).Failed() ? std::string() : target.Canonical();
}

// The printer watch leaves the list alone while a view's dialog runs.
class CommandScope {
 public:
  explicit CommandScope(int& depth) : depth_(depth) { ++depth_; }
  ~CommandScope() { --depth_; }
  CommandScope(const CommandScope&) = delete;
  CommandScope& operator=(const CommandScope&) = delete;

 private:
  int& depth_;
};

}  // namespace

void TfrmMain::PM_NetworkClick() {
  char path[260] = {};
  uint32_t length = 0;
  int chosen = 0;
  {
    CommandScope scope(commandDepth_);
    chosen = QUILLON_SelectPrinter(static_cast<QWidget*>(this), path, sizeof path, &length);
  }
  if (!chosen) return;  // cancelled, or the name did not fit
  lstvwPrinters->clearSelection();
  app_.SelectPrinter(path);
  pnlSelected->setText(QString::fromStdString(app_.SelectedPrinter));
  ShowSelectedPrinter();
  SetLocalView(2);
}

void TfrmMain::PM_FtpClick() {
  // The form is made with the others at start; a window made alone (tests)
  // gets its own.
  TFtpConnect* dlg = FtpConnect ? FtpConnect : new TFtpConnect(this);
  int result = 0;
  {
    CommandScope scope(commandDepth_);
    result = dlg->exec();
  }
  if (result == quillon::IDOK) {
    lstvwPrinters->clearSelection();
    app_.SelectPrinter(FtpPrinterName(*dlg));
    pnlSelected->setText(QString::fromStdString(app_.SelectedPrinter));
    ShowSelectedPrinter();
    SetLocalView(2);
  } else if (result == TFtpConnect::kUnreachable) {
    MsgBoxAlways(LoadStr(4160), quillon::MB_ICONSTOP, 0);
  }
}
