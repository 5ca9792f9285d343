#pragma once
// The main window: tool buttons, the chosen package, the chosen printer with
// the view menu, the list of the spooler's printers or the details of the
// chosen one, and a status line. Every command of the program starts here.
// The state that outlives the window lives in the application object; the
// window's rectangle, list columns and view go back to it when it goes.

#include <QIcon>
#include <QList>
#include <QMainWindow>

#include <map>
#include <string>
#include <vector>

#include "gui/MainDownloadCommand.h"

class QAction;
class QFileDialog;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;
class QTimer;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TDownDocFile;
class TQUILLONApp;

class TfrmMain : public QMainWindow {
  Q_OBJECT
 public:
  // Needs the application object (TQUILLONApp::Instance()).
  explicit TfrmMain(QWidget* parent = nullptr);
  ~TfrmMain() override;

  // Commands and events.
  void FormResize();
  // Moves the fields right of their captions at the face in use.
  void PlaceFieldsByCaptions();
  void FormShow();
  void ExecDownload();
  void MF_ExitClick();
  void FileOpen();
  void lstvwPrintersPaint();
  void DisplayVersion();
  void MA_HelpClick();
  void lstvwPrintersChange(QTreeWidgetItem* item);
  void edtFileNameChange();
  void PM_NetworkClick();  // the network view (MainNetworkViews.cpp)
  void btnPrintersClick();
  void PM_LocalClick();
  void PM_FtpClick();      // the FTP view (MainNetworkViews.cpp)
  void OnUpdate();

  // The two message boxes: MsgBox is silenced by ShowMessage 0 (answer
  // OK), MsgBoxAlways never. Result 1 OK, 2 Cancel.
  int MsgBox(const std::string& text, int style, int helpContext);
  int MsgBoxAlways(const std::string& text, int style, int helpContext);
  // The unattended run: once, from the main loop, after the window's
  // start-up (its first showing, with any model question) has ended.
  void OnAutoRun();
  // The program's exit code after an unattended run: 0 when the download
  // succeeded, else the class of its failure (as quillon-cli's codes);
  // interrupted (8) when a quit signal came before the run had ended.
  int UnattendedExit() const;

  void LoadPrinterIcons();
  // mode: 0 toggle, 1 show, 2 hide (anything else shows).
  void SetLocalView(int mode);
  void ShowSelectedPrinter();
  void UpdateStatusText();
  void LoadPackageFile(const QString& fileName);
  void ShowPackageState(const TDownDocFile* package);

  // What the controls give the download command.
  quillon::DownloadInputs DownloadInputs() const;
  // The command the window runs; tests script its transfer and log.
  quillon::WindowDownloadCommand Download;

  // Reads the spooler's printer names and refreshes the list when the set
  // changed since the last refresh; run every PrinterWatch interval. False
  // when nothing was refreshed (also while a modal window or a command runs).
  bool CheckPrinterSet();

  // Item data of the list rows.
  static constexpr int kImageKeyRole = Qt::UserRole;
  static constexpr int kImageIndexRole = Qt::UserRole + 1;
  static constexpr int kGhostedRole = Qt::UserRole + 2;
  static constexpr int kColumnCount = 5;
  static constexpr int kMinWidth = 480;
  static constexpr int kMinHeight = 360;

  // Controls.
  QWidget* Client = nullptr;  // the client area
  QFrame* Bevel1 = nullptr;
  QFrame* Bevel2 = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QToolButton* SpeedButton2 = nullptr;
  QToolButton* spbtnUpdate = nullptr;
  QToolButton* SpeedButton4 = nullptr;
  QLabel* lblFileName = nullptr;
  QLineEdit* edtFileName = nullptr;
  QLabel* pnlFileName = nullptr;
  QPushButton* btnBrowse = nullptr;
  QLabel* pnlFileState = nullptr;
  QPushButton* btnExec = nullptr;
  QLabel* lblSelected = nullptr;
  QLabel* pnlSelected = nullptr;
  QPushButton* btnPrinters = nullptr;
  QTreeWidget* lstvwPrinters = nullptr;
  QLabel* imgSelIcon = nullptr;
  QLabel* imgMask = nullptr;
  QLabel* lblSelDrv = nullptr;
  QLabel* lblSelPort = nullptr;
  QLabel* lblSelPlace = nullptr;
  QLabel* lblSelComment = nullptr;
  QLabel* lblSelVer = nullptr;
  QLabel* pnlSelDrv = nullptr;
  QLabel* pnlSelPort = nullptr;
  QLabel* pnlSelPlace = nullptr;
  QLabel* pnlSelComment = nullptr;
  QLabel* pnlSelVer = nullptr;
  QStatusBar* StatusBar = nullptr;
  QList<QIcon> imglstIcons;  // 32 x 32; index = model code
  QFileDialog* OpenDialog = nullptr;
  QTimer* PrinterWatch = nullptr;

  // Menus.
  QMenu* MENU_FILE = nullptr;
  QAction* MF_Open = nullptr;
  QAction* MF_Execute = nullptr;
  QAction* MF_Exit = nullptr;
  QMenu* MENU_View = nullptr;
  QAction* MV_LOCAL = nullptr;
  QAction* MV_NET = nullptr;
  QAction* MV_FTP = nullptr;
  QAction* MV_Update = nullptr;
  QMenu* FILE_ABOUT = nullptr;
  QAction* MA_Help = nullptr;
  QAction* MA_Version = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* PM_Local = nullptr;
  QAction* PM_Network = nullptr;
  QAction* PM_Ftp = nullptr;

 signals:
  // The window was closed: the program ends.
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void CreateMenus();
  void InitControls();
  void StoreWindowState();
  // Brings a stored rectangle that lies on no screen back onto one.
  void KeepOnScreen();

  TQUILLONApp& app_;
  std::vector<std::string> listedNames_;  // the names of the last refresh
  // Images of the code texts that name icon files (the model table keeps
  // its own codes).
  std::map<std::string, int> iconFileIndexes_;
  bool listChangeAttached_ = true;
  int commandDepth_ = 0;  // a command runs: the printer watch waits
  int unattendedExit_ = 0;
  // The start-up's end; the unattended run waits for it, never runs in a
  // loop of the start-up's dialogs, and runs once.
  void StartupEnded(bool modelDeclined);
  bool startupDone_ = false;
  bool autoRunPending_ = false;
  bool autoRunStarted_ = false;
  bool autoRunEnded_ = false;
};

// The main window while it exists, else nullptr.
extern TfrmMain* frmMain;
