#include "ui/TfrmMain.h"

#include <QCloseEvent>

#include "app/AppTitles.h"
#include "app/QuillonApp.h"

TfrmMain* frmMain = nullptr;

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {
  frmMain = this;
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QString::fromUtf8(kApplicationTitle));
  setMinimumSize(480, 360);
  if (const TQUILLONApp* app = TQUILLONApp::Instance()) {
    move(app->WindowLeft, app->WindowTop);
    resize(app->WindowWidth, app->WindowHeight);
  }
}

TfrmMain::~TfrmMain() {
  if (frmMain == this) frmMain = nullptr;
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (TQUILLONApp* app = TQUILLONApp::Instance()) {
    app->WindowLeft = x();
    app->WindowTop = y();
    app->WindowWidth = width();
    app->WindowHeight = height();
  }
  QMainWindow::closeEvent(event);
}
