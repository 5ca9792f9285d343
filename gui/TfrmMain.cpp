#include "gui/TfrmMain.h"

#include <QCoreApplication>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <stdexcept>

#include "core/app/AppTitles.h"
#include "core/app/QuillonApp.h"
#include "resources/StringTable.h"
#include "core/command/ExitCodes.h"
#include "core/command/FileSelection.h"
#include "gui/HelpViewer.h"
#include "gui/JapaneseFonts.h"
#include "gui/MainGlyphs.h"
#include "gui/ProgramBoxes.h"
#include "gui/QtBoxAnswerer.h"
#include "gui/QuitSignals.h"

using quillon::DownloadOutcome;
using quillon::LoadStr;
using quillon::kApplicationTitle;

TfrmMain* frmMain = nullptr;

namespace {

constexpr int kFormFontPixels = 12;
constexpr int kStatusBarHeight = 20;
constexpr int kPrinterWatchMs = 5000;

QLabel* MakePanel(QWidget* parent, const char* name, int x, int y, int w, int h) {
  auto* panel = new QLabel(parent);
  panel->setObjectName(QString::fromLatin1(name));
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setLineWidth(1);
  panel->setIndent(4);
  panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  panel->setTextFormat(Qt::PlainText);
  panel->setGeometry(x, y, w, h);
  return panel;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, int x, int y) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->move(x, y);
  label->adjustSize();
  return label;
}

QToolButton* MakeToolButton(QWidget* parent, const char* name, const QString& hint,
                            const QIcon& glyph, int x, int y) {
  auto* b = new QToolButton(parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setToolTip(hint);
  b->setIcon(glyph);
  b->setIconSize(QSize(20, 20));
  b->setAutoRaise(true);
  b->setGeometry(x, y, 25, 25);
  return b;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                        const QString& hint, int x, int y, int w, int h) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setToolTip(hint);
  b->setAutoDefault(false);
  b->setGeometry(x, y, w, h);
  return b;
}

// The window shows and changes the application object's state; there is
// no window without it.
TQUILLONApp& RequireApp() {
  TQUILLONApp* app = TQUILLONApp::Instance();
  if (!app) throw std::logic_error("the main window needs the application object");
  return *app;
}

QFrame* MakeBevel(QWidget* parent, const char* name) {
  auto* f = new QFrame(parent);
  f->setObjectName(QString::fromLatin1(name));
  f->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  return f;
}

}  // namespace

TfrmMain::TfrmMain(QWidget* parent)
    : QMainWindow(parent),
      Download(RequireApp(), quillon::Boxes()),
      app_(RequireApp()) {
  frmMain = this;
  setObjectName(QStringLiteral("frmMain"));
  setFont(quillon::FormFont(quillon::kFontPGothic, kFormFontPixels));
  setWindowIcon(quillon::ProgramIcon());
  setWindowFlags((windowFlags() & ~Qt::WindowMaximizeButtonHint) |
                 Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  resize(485, 360);
  CreateControls();
  CreateMenus();
  quillon::SetBoxOwner(this);
  InitControls();
}

TfrmMain::~TfrmMain() {
  PrinterWatch->stop();
  StoreWindowState();
  if (frmMain == this) frmMain = nullptr;
}

void TfrmMain::CreateControls() {
  Client = new QWidget(this);
  Client->setObjectName(QStringLiteral("Client"));
  setCentralWidget(Client);
  Client->installEventFilter(this);
  QWidget* c = Client;

  Bevel1 = MakeBevel(c, "Bevel1");
  Bevel2 = MakeBevel(c, "Bevel2");

  SpeedButton1 = MakeToolButton(c, "SpeedButton1", QCoreApplication::translate("TfrmMain", "ﾌｧｲﾙを開く"),
                                quillon::OpenFileGlyph(), 0, 5);
  SpeedButton2 = MakeToolButton(c, "SpeedButton2", QCoreApplication::translate("TfrmMain", "ダウンロード実行"),
                                quillon::DownloadGlyph(), 24, 5);
  spbtnUpdate = MakeToolButton(c, "spbtnUpdate", QCoreApplication::translate("TfrmMain", "最新の情報に更新"),
                               quillon::RefreshGlyph(), 56, 5);
  SpeedButton4 = MakeToolButton(c, "SpeedButton4", QCoreApplication::translate("TfrmMain", "ﾊﾞｰｼﾞｮﾝ情報"),
                                quillon::VersionGlyph(), 88, 5);
  connect(SpeedButton1, &QToolButton::clicked, this, &TfrmMain::FileOpen);
  connect(SpeedButton2, &QToolButton::clicked, this, &TfrmMain::ExecDownload);
  connect(spbtnUpdate, &QToolButton::clicked, this, &TfrmMain::OnUpdate);
  connect(SpeedButton4, &QToolButton::clicked, this, &TfrmMain::DisplayVersion);

  lblFileName = MakeLabel(c, "lblFileName", QStringLiteral("lblFileName"), 30, 45);

  edtFileName = new QLineEdit(c);
  edtFileName->setObjectName(QStringLiteral("edtFileName"));
  edtFileName->setToolTip(QCoreApplication::translate("TfrmMain", "ダウンロードファイルを指定"));
  edtFileName->setGeometry(160, 42, 217, 20);
  edtFileName->setEnabled(false);
  edtFileName->setVisible(false);
  connect(edtFileName, &QLineEdit::textChanged, this, &TfrmMain::edtFileNameChange);

  pnlFileName = MakePanel(c, "pnlFileName", 160, 42, 217, 20);
  pnlFileName->setToolTip(QCoreApplication::translate("TfrmMain", "ファイル名"));
  btnBrowse = MakeButton(c, "btnBrowse", QStringLiteral("btnBrowse"),
                         QCoreApplication::translate("TfrmMain", "ﾌｧｲﾙを開く"), 392, 43, 57, 20);
  connect(btnBrowse, &QPushButton::clicked, this, &TfrmMain::FileOpen);

  pnlFileState = MakePanel(c, "pnlFileState", 160, 72, 217, 20);
  pnlFileState->setToolTip(QCoreApplication::translate("TfrmMain", "ファイルの情報"));
  btnExec = MakeButton(c, "btnExec", QStringLiteral("btnExec"),
                       QCoreApplication::translate("TfrmMain", "ダウンロード実行"), 392, 72, 57, 20);
  connect(btnExec, &QPushButton::clicked, this, &TfrmMain::ExecDownload);

  lblSelected = MakeLabel(c, "lblSelected", QStringLiteral("lblSelected"), 30, 105);
  pnlSelected = MakePanel(c, "pnlSelected", 160, 104, 217, 20);
  pnlSelected->setToolTip(QCoreApplication::translate("TfrmMain", "選択されたプリンタ"));
  btnPrinters = MakeButton(c, "btnPrinters", QCoreApplication::translate("TfrmMain", "▼"), QCoreApplication::translate("TfrmMain", "プリンタ選択"),
                           392, 104, 33, 20);
  btnPrinters->setFont(quillon::FormFont(quillon::kFontVerticalPGothic, kFormFontPixels));
  connect(btnPrinters, &QPushButton::clicked, this, &TfrmMain::btnPrintersClick);

  // The selected-printer area, covered by the list while the list shows.
  imgSelIcon = new QLabel(c);
  imgSelIcon->setObjectName(QStringLiteral("imgSelIcon"));
  imgSelIcon->setAlignment(Qt::AlignCenter);
  imgSelIcon->setGeometry(24, 164, 32, 32);
  imgMask = new QLabel(c);
  imgMask->setObjectName(QStringLiteral("imgMask"));
  imgMask->setScaledContents(true);
  imgMask->setGeometry(20, 160, 40, 40);
  imgMask->setVisible(false);
  lblSelDrv = MakeLabel(c, "lblSelDrv", QCoreApplication::translate("TfrmMain", "機種"), 100, 165);
  lblSelPort = MakeLabel(c, "lblSelPort", QCoreApplication::translate("TfrmMain", "接続先"), 100, 189);
  lblSelPlace = MakeLabel(c, "lblSelPlace", QCoreApplication::translate("TfrmMain", "場所"), 100, 213);
  lblSelComment = MakeLabel(c, "lblSelComment", QCoreApplication::translate("TfrmMain", "コメント"), 100, 237);
  lblSelVer = MakeLabel(c, "lblSelVer", QCoreApplication::translate("TfrmMain", "バージョン"), 100, 261);
  pnlSelDrv = MakePanel(c, "pnlSelDrv", 160, 161, 217, 20);
  pnlSelPort = MakePanel(c, "pnlSelPort", 160, 185, 217, 20);
  pnlSelPlace = MakePanel(c, "pnlSelPlace", 160, 209, 217, 20);
  pnlSelComment = MakePanel(c, "pnlSelComment", 160, 233, 217, 20);
  pnlSelVer = MakePanel(c, "pnlSelVer", 160, 257, 217, 20);

  lstvwPrinters = new QTreeWidget(c);
  lstvwPrinters->setObjectName(QStringLiteral("lstvwPrinters"));
  lstvwPrinters->setFont(quillon::FormFont(quillon::kFontGothic, kFormFontPixels));
  lstvwPrinters->setColumnCount(kColumnCount);
  lstvwPrinters->setHeaderLabels({QCoreApplication::translate("TfrmMain", "ﾌﾟﾘﾝﾀ"), QCoreApplication::translate("TfrmMain", "種類"),
                                  QCoreApplication::translate("TfrmMain", "接続先"), QCoreApplication::translate("TfrmMain", "場所"),
                                  QCoreApplication::translate("TfrmMain", "ｺﾒﾝﾄ")});
  lstvwPrinters->setRootIsDecorated(false);
  lstvwPrinters->setItemsExpandable(false);
  lstvwPrinters->setUniformRowHeights(true);
  lstvwPrinters->setAllColumnsShowFocus(true);
  lstvwPrinters->setSelectionMode(QAbstractItemView::SingleSelection);
  lstvwPrinters->setSelectionBehavior(QAbstractItemView::SelectRows);
  lstvwPrinters->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lstvwPrinters->setIconSize(QSize(32, 32));
  lstvwPrinters->setSortingEnabled(false);
  lstvwPrinters->header()->setSectionsClickable(false);
  lstvwPrinters->header()->setStretchLastSection(false);
  lstvwPrinters->header()->setSectionsMovable(false);
  lstvwPrinters->header()->setFont(font());
  // The stored widths come back as they were, however narrow: the
  // header's font would otherwise raise its own minimum over them.
  lstvwPrinters->header()->setMinimumSectionSize(8);
  // The selection stays visible when the list has no focus.
  QPalette pal = lstvwPrinters->palette();
  for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
    pal.setColor(QPalette::Inactive, role, pal.color(QPalette::Active, role));
  lstvwPrinters->setPalette(pal);
  lstvwPrinters->move(0, 154);
  lstvwPrinters->raise();
  connect(lstvwPrinters, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (!listChangeAttached_) return;
    const QList<QTreeWidgetItem*> chosen = lstvwPrinters->selectedItems();
    if (!chosen.isEmpty()) lstvwPrintersChange(chosen.first());
  });

  StatusBar = new QStatusBar(c);
  StatusBar->setObjectName(QStringLiteral("StatusBar"));
  StatusBar->setSizeGripEnabled(true);
  StatusBar->setGeometry(0, 285, 474, kStatusBarHeight);

  OpenDialog = new QFileDialog(this);
  OpenDialog->setObjectName(QStringLiteral("OpenDialog"));
  OpenDialog->setFileMode(QFileDialog::ExistingFile);
  OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
  OpenDialog->setOption(QFileDialog::ReadOnly, true);

  PrinterWatch = new QTimer(this);
  PrinterWatch->setObjectName(QStringLiteral("PrinterWatch"));
  PrinterWatch->setInterval(kPrinterWatchMs);
  connect(PrinterWatch, &QTimer::timeout, this, [this] { CheckPrinterSet(); });
}

void TfrmMain::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));
  MENU_FILE = bar->addMenu(QCoreApplication::translate("TfrmMain", "ﾌｧｲﾙ(&F)"));
  MENU_FILE->setObjectName(QStringLiteral("MENU_FILE"));
  MF_Open = MENU_FILE->addAction(quillon::OpenFileGlyph(), QCoreApplication::translate("TfrmMain", "開く(&O)"), this,
                                 &TfrmMain::FileOpen);
  MF_Open->setObjectName(QStringLiteral("MF_Open"));
  MF_Execute = MENU_FILE->addAction(quillon::DownloadGlyph(), QCoreApplication::translate("TfrmMain", "実行(&E)"), this,
                                    &TfrmMain::ExecDownload);
  MF_Execute->setObjectName(QStringLiteral("MF_Execute"));
  MENU_FILE->addSeparator()->setObjectName(QStringLiteral("MF_Sep1"));
  MF_Exit = MENU_FILE->addAction(QCoreApplication::translate("TfrmMain", "終了(&X)"), this, &TfrmMain::MF_ExitClick);
  MF_Exit->setObjectName(QStringLiteral("MF_Exit"));

  MENU_View = bar->addMenu(QCoreApplication::translate("TfrmMain", "表示(&V)"));
  MENU_View->setObjectName(QStringLiteral("MENU_View"));
  MV_LOCAL = MENU_View->addAction(QCoreApplication::translate("TfrmMain", "ローカルプリンタ(&L)"), this,
                                  &TfrmMain::PM_LocalClick);
  MV_LOCAL->setObjectName(QStringLiteral("MV_LOCAL"));
  MV_LOCAL->setCheckable(true);
  MV_LOCAL->setChecked(true);
  MENU_View->addSeparator()->setObjectName(QStringLiteral("MV_SEP1"));
  MV_NET = MENU_View->addAction(QCoreApplication::translate("TfrmMain", "ネットワークプリンタ(&N)"), this,
                                &TfrmMain::PM_NetworkClick);
  MV_NET->setObjectName(QStringLiteral("MV_NET"));
  MV_FTP = MENU_View->addAction(QStringLiteral("FTP(&F)"), this, &TfrmMain::PM_FtpClick);
  MV_FTP->setObjectName(QStringLiteral("MV_FTP"));
  MENU_View->addSeparator()->setObjectName(QStringLiteral("MV_SEP2"));
  MV_Update = MENU_View->addAction(quillon::RefreshGlyph(), QCoreApplication::translate("TfrmMain", "最新の情報に更新(&U)"),
                                   this, &TfrmMain::OnUpdate);
  MV_Update->setObjectName(QStringLiteral("MV_Update"));

  FILE_ABOUT = bar->addMenu(QCoreApplication::translate("TfrmMain", "ﾊﾞｰｼﾞｮﾝｱｯﾌﾟについて(&A)"));
  FILE_ABOUT->setObjectName(QStringLiteral("FILE_ABOUT"));
  MA_Help = FILE_ABOUT->addAction(QCoreApplication::translate("TfrmMain", "ﾍﾙﾌﾟ(&H)"), this, &TfrmMain::MA_HelpClick);
  MA_Help->setObjectName(QStringLiteral("MA_Help"));
  MA_Version = FILE_ABOUT->addAction(quillon::VersionGlyph(), QCoreApplication::translate("TfrmMain", "ﾊﾞｰｼﾞｮﾝ情報(&V)"),
                                     this, &TfrmMain::DisplayVersion);
  MA_Version->setObjectName(QStringLiteral("MA_Version"));

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  PM_Local = PopupMenu1->addAction(QCoreApplication::translate("TfrmMain", "ローカルプリンタ(&L)"), this,
                                   &TfrmMain::PM_LocalClick);
  PM_Local->setObjectName(QStringLiteral("PM_Local"));
  PM_Local->setCheckable(true);
  PM_Local->setChecked(true);
  PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N2"));
  PM_Network = PopupMenu1->addAction(QCoreApplication::translate("TfrmMain", "ネットワークプリンタ(&N)"), this,
                                     &TfrmMain::PM_NetworkClick);
  PM_Network->setObjectName(QStringLiteral("PM_Network"));
  PM_Ftp = PopupMenu1->addAction(QStringLiteral("FTP(&F)"), this, &TfrmMain::PM_FtpClick);
  PM_Ftp->setObjectName(QStringLiteral("PM_Ftp"));
}

void TfrmMain::InitControls() {
  setWindowTitle(QCoreApplication::translate("Quillon", kApplicationTitle));
  lblFileName->setText(QCoreApplication::translate("TfrmMain", "ﾌﾟﾘﾝﾀ制御ｿﾌﾄｳｪｱ"));
  lblFileName->adjustSize();
  lblSelected->setText(QCoreApplication::translate("TfrmMain", "出力先"));
  lblSelected->adjustSize();
  btnBrowse->setText(QCoreApplication::translate("TfrmMain", "参照(&B)"));
  btnExec->setText(QCoreApplication::translate("TfrmMain", "実行(&E)"));
  PlaceFieldsByCaptions();
  for (QLabel* p : {pnlFileState, pnlSelDrv, pnlSelPort, pnlSelPlace, pnlSelComment, pnlSelVer})
    p->clear();

  pnlSelected->setText(QString::fromStdString(app_.SelectedPrinter));
  edtFileName->setText(QString::fromUtf8(app_.GetPackageFileName()));
  edtFileNameChange();

  lstvwPrinters->move(lstvwPrinters->x(), pnlSelected->y() + 50);

  move(app_.WindowLeft, app_.WindowTop);
  resize(app_.WindowWidth, app_.WindowHeight);
  KeepOnScreen();

  if (app_.ViewLocal == 0) SetLocalView(2);
  for (int i = 0; i < kColumnCount; ++i) lstvwPrinters->setColumnWidth(i, app_.GetColumnWidth(i));

  imgSelIcon->move(24, 164);
  imgMask->setVisible(false);
  imgMask->move(20, 160);

  setMinimumSize(kMinWidth, kMinHeight);

  LoadPrinterIcons();

  // The filter text is bounded like the dialog's buffer of 255 characters.
  OpenDialog->setNameFilters(quillon::OpenDialogFilters(LoadStr(500).substr(0, 255)));

  // The unattended run waits for the end of the start-up (FormShow).
  autoRunPending_ = app_.AutoRun == 0;
  FormResize();
}

void TfrmMain::KeepOnScreen() {
  const QList<QScreen*> screens = QGuiApplication::screens();
  if (screens.isEmpty()) return;
  const QRect rect(pos(), size());
  for (const QScreen* s : screens)
    if (s->availableGeometry().intersects(rect)) return;
  move(QGuiApplication::primaryScreen()->availableGeometry().topLeft());
}

void TfrmMain::FormResize() {
  const int cw = Client->width();
  const int ch = Client->height();
  Bevel1->setGeometry(0, 0, cw, 2);
  Bevel2->setGeometry(0, 33, cw, 2);

  const int statusBorder = 0;
  lstvwPrinters->resize(cw - 2 * lstvwPrinters->x(),
                        ch - lstvwPrinters->y() - (2 * statusBorder + StatusBar->height()));
  StatusBar->setGeometry(StatusBar->x(), lstvwPrinters->y() + lstvwPrinters->height(), cw,
                         StatusBar->height());

  pnlFileName->resize(cw - (pnlFileName->x() + btnBrowse->width() + 30), pnlFileName->height());
  pnlFileState->resize(cw - (pnlFileState->x() + btnExec->width() + 30), pnlFileState->height());
  pnlSelected->resize(cw - (pnlSelected->x() + btnPrinters->width() + 30), pnlSelected->height());

  btnBrowse->move(pnlFileName->x() + pnlFileName->width() + 10, btnBrowse->y());
  btnExec->move(pnlFileState->x() + pnlFileState->width() + 10, btnExec->y());
  btnPrinters->move(pnlSelected->x() + pnlSelected->width() + 10, btnPrinters->y());

  // The printer's fields end where the file's field ends.
  for (QLabel* p : {pnlSelDrv, pnlSelPort, pnlSelPlace, pnlSelComment, pnlSelVer})
    p->resize(pnlFileName->x() + pnlFileName->width() - p->x(), p->height());
}

void TfrmMain::PlaceFieldsByCaptions() {
  // The design places the fields at fixed columns, which the captions of a
  // wider face or of English run into ("Locati"): each column starts right
  // of its widest caption, and each button is as wide as its caption.
  constexpr int kGap = 8;
  int files = 160;
  for (QLabel* l : {lblFileName, lblSelected}) files = std::max(files, l->x() + l->sizeHint().width() + kGap);
  for (QWidget* w : std::initializer_list<QWidget*>{edtFileName, pnlFileName, pnlFileState, pnlSelected})
    w->move(files, w->y());
  int printer = 160;
  for (QLabel* l : {lblSelDrv, lblSelPort, lblSelPlace, lblSelComment, lblSelVer}) {
    l->adjustSize();
    printer = std::max(printer, l->x() + l->width() + kGap);
  }
  for (QLabel* p : {pnlSelDrv, pnlSelPort, pnlSelPlace, pnlSelComment, pnlSelVer}) p->move(printer, p->y());
  for (QPushButton* b : {btnBrowse, btnExec}) b->resize(std::max(57, b->sizeHint().width()), b->height());
  FormResize();
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Client && event->type() == QEvent::Resize) FormResize();
  return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TfrmMain::FormShow() {
  lstvwPrintersPaint();
  ShowPackageState(app_.GetPackage());
  bool modelDeclined = false;
  if (!app_.SelectedPrinter.empty()) {
    // May ask for the model with a modal dialog, whose loop runs here.
    app_.SelectPrinter(pnlSelected->text().toStdString());
    // Asked (only an unknown model is) and still unknown: not answered.
    modelDeclined = app_.AskModel && app_.SelectedEntry.Driver[0] == '\0';
    ShowSelectedPrinter();
  }
  PrinterWatch->start();
  if (!startupDone_) {
    startupDone_ = true;
    StartupEnded(modelDeclined);
  }
}

void TfrmMain::StartupEnded(bool modelDeclined) {
  if (!autoRunPending_ || quillon::QuitRequested()) return;
  if (modelDeclined) {
    // Nobody chose the model the run needs: the run ends, nothing sent.
    std::fprintf(stderr, "quillon: /NO: the model of %s was not chosen; nothing was sent\n",
                 app_.SelectedPrinter.c_str());
    autoRunPending_ = false;
    unattendedExit_ = quillon::kExitDeclined;
    QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
    return;
  }
  QMetaObject::invokeMethod(this, &TfrmMain::OnAutoRun, Qt::QueuedConnection);
}

int TfrmMain::UnattendedExit() const {
  // Asked to end before the run could end (during the start-up's question,
  // or before the run's turn came): interrupted.
  if (autoRunPending_ && !autoRunEnded_ && quillon::QuitRequested()) return quillon::kExitAborted;
  return unattendedExit_;
}

void TfrmMain::StoreWindowState() {
  app_.WindowLeft = x();
  app_.WindowTop = y();
  app_.WindowWidth = width();
  app_.WindowHeight = height();
  for (int i = 0; i < kColumnCount; ++i) app_.SetColumnWidth(i, lstvwPrinters->columnWidth(i));
  app_.ViewLocal = lstvwPrinters->isHidden() ? 0 : 1;
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  StoreWindowState();
  QMainWindow::closeEvent(event);
  if (event->isAccepted()) {
    PrinterWatch->stop();
    emit Closed();
  }
}

int TfrmMain::MsgBox(const std::string& text, int style, int helpContext) {
  return quillon::Boxes().MsgBox(text, style, helpContext, app_.ShowMessage);
}

int TfrmMain::MsgBoxAlways(const std::string& text, int style, int helpContext) {
  return quillon::Boxes().MsgBoxAlways(text, style, helpContext);
}

void TfrmMain::OnAutoRun() {
  if (!autoRunPending_ || !startupDone_ || autoRunStarted_ || quillon::QuitRequested()) return;
  if (QApplication::activeModalWidget()) {
    // A dialog's loop is running: the run waits for the main loop rather
    // than running under a dialog nobody has answered.
    QTimer::singleShot(100, this, &TfrmMain::OnAutoRun);
    return;
  }
  autoRunStarted_ = true;
  if (!app_.GetPackage() || app_.SelectedPrinter.empty()) {
    // With a display the operator takes over; without one nobody could,
    // and the run would never end.
    if (!quillon::IsHeadlessPlatform()) {
      autoRunEnded_ = true;
      return;
    }
    std::fprintf(stderr, "quillon: /NO needs a package and a printer (/PR= or /HN=): %s\n",
                 !app_.GetPackage() ? "no package given" : "no printer given");
    unattendedExit_ = quillon::kExitInput;
    autoRunEnded_ = true;
    QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
    return;
  }
  hide();
  ++commandDepth_;
  const DownloadOutcome outcome = Download.ExecDownload(DownloadInputs());
  --commandDepth_;
  unattendedExit_ = quillon::ExitOfOutcome(outcome, Download.LastResult.code,
                                           Download.RecordError.empty());
  // A signal cut the run short before its transfer (a question it
  // dismissed): interrupted. A transfer that ran keeps its own code.
  if (quillon::QuitRequested() && outcome != DownloadOutcome::Ran)
    unattendedExit_ = quillon::kExitAborted;
  autoRunEnded_ = true;
  QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

void TfrmMain::MF_ExitClick() { close(); }

void TfrmMain::DisplayVersion() { quillon::ShowHelp(1001); }

void TfrmMain::MA_HelpClick() { quillon::ShowHelp(0); }

quillon::DownloadInputs TfrmMain::DownloadInputs() const {
  quillon::DownloadInputs in;
  in.fileName = edtFileName->text().toStdString();
  in.packagePath = pnlFileName->text().toStdString();
  in.packageState = pnlFileState->text().toStdString();
  in.printer = pnlSelected->text().toStdString();
  in.port = pnlSelPort->text().toStdString();
  return in;
}

void TfrmMain::ExecDownload() {
  ++commandDepth_;
  Download.ExecDownload(DownloadInputs());
  --commandDepth_;
}
