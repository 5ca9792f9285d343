#include "gui/Entry.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "core/app/AppTitles.h"
#include "core/app/QuillonApp.h"
#include "core/command/ExitCodes.h"
#include "gui/ModelAsk.h"
#include "gui/PrnModelDlg.h"
#include "gui/ConsoleWait.h"
#include "gui/QuitSignals.h"
#include "gui/SingleInstance.h"
#include "gui/EEPDlg.h"
#include "gui/PrntView.h"
#include "gui/DlgMsgBox.h"
#include "gui/HelpViewer.h"
#include "gui/JapaneseFonts.h"
#include "gui/ProgramBoxes.h"
#include "gui/QtBoxAnswerer.h"
#include "gui/FtpConnect.h"
#include "gui/ProgramUsage.h"
#include "resources/Translations.h"
#include "gui/TfrmMain.h"

namespace {

// Catches what a handler throws: the loop ends and the entry shows it.
class QuillonApplication : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      Fail(QString::fromUtf8(e.what()));
    } catch (...) {
      Fail(QStringLiteral("Unknown error"));
    }
    return false;
  }

  QString failure;

 private:
  void Fail(const QString& what) {
    if (failure.isEmpty()) failure = what;
    exit(0);
  }
};

// Through the box routine: with no display it goes to the error stream
// instead of waiting for a click that cannot come.
void ShowFailure(const QString& what) {
  quillon::Boxes().MsgBoxAlways(what.toStdString(), quillon::MB_ICONSTOP, 0);
}

}  // namespace

// The forms of the program, created in their fixed order and kept until
// the end of the run (destroyed in the reverse order, the main form last).
quillon::Forms::Forms() = default;
// Reverse order of creation; the main form, owner of the others, last.
quillon::Forms::~Forms() {
  eepDlg.reset();
  dlgPrnModel.reset();
  ftpConnect.reset();
  dlgMsgBox.reset();
  frmPrntView.reset();
  frmMain.reset();
}

void quillon::CreateForms(Forms& forms, TQUILLONApp& app) {
  forms.frmMain = std::make_unique<TfrmMain>();  // the first form is the main form
  // The others are owned by it, so that each opens centred on it.
  QWidget* owner = forms.frmMain.get();
  forms.frmPrntView = std::make_unique<TfrmPrntView>(owner, &app);
  forms.dlgMsgBox = std::make_unique<TDlgMsgBox>(owner);
  forms.ftpConnect = std::make_unique<TFtpConnect>(owner);
  forms.dlgPrnModel = std::make_unique<TdlgPrnModel>(owner);
  forms.eepDlg = std::make_unique<TEEPDlg>(owner);
  // With no display nobody could pick a model; the question is then not
  // asked, as if cancelled.
  if (!quillon::IsHeadlessPlatform()) InstallModelQuestion(app, *forms.dlgPrnModel);
  // A console query blocks the user-interface thread: a quit signal or the
  // window's close box ends it.
  app.ConsoleAborted = &quillon::ConsoleWaitAborted;
}


namespace {

bool EnvSet(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

// Qt ends the process with an abort when it finds no platform to show the
// window on; tell the caller how to run instead, before it tries.
bool HaveDisplayPlatform(int argc, char** argv) {
  if (EnvSet("DISPLAY") || EnvSet("WAYLAND_DISPLAY") || EnvSet("QT_QPA_PLATFORM")) return true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
      return true;
  }
  return false;
}

}  // namespace

int quillon::QuillonMain(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  // Answered before anything else starts: no window, no lock, no settings.
  if (quillon::AsksForHelp(args) || quillon::AsksForVersion(args)) {
    const std::string text =
        quillon::AsksForHelp(args) ? quillon::ProgramHelp() : std::string("quillon " QUILLON_VERSION "\n");
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
  }
  if (!HaveDisplayPlatform(argc, argv)) {
    std::fputs(
        "quillon: no display (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
        "  Without a display, run it unattended with QT_QPA_PLATFORM=offscreen:\n"
        "    QT_QPA_PLATFORM=offscreen quillon PACKAGE /PR=QUEUE /NM /NO\n"
        "  or use the command-line front end: quillon-cli download PACKAGE --printer P\n",
        stderr);
    return quillon::kExitInput;
  }
  // Named before anything asks for the standard folders.
  QCoreApplication::setApplicationName(QStringLiteral("quillon"));
  QuillonApplication qapp(argc, argv);
  quillon::InstallTranslations(qapp);

  // Settings read, model table loaded, command line applied, package opened;
  // destroyed last, writing the settings back, also in a copy that returns 1.
  TQUILLONApp app(std::string(), std::move(args));
  // A malformed /PR= or /HN= is the caller's input: an unattended run ends
  // here, before any console is asked or anything is sent.
  if (!app.PrinterInputError.empty()) {
    std::fprintf(stderr, "quillon: %s\n", app.PrinterInputError.c_str());
    if (app.AutoRun == 0) return quillon::kExitInput;
  }

  SingleInstance instance;
  if (!instance.Acquire()) {
    instance.NotifyRunning();
    return 1;
  }

  quillon::InstallJapaneseFonts();
  quillon::InstallQuitSignals(&qapp);

  Forms forms;
  try {
    CreateForms(forms, app);
    QObject::connect(forms.frmMain.get(), &TfrmMain::Closed, &qapp, &QCoreApplication::quit);
    forms.frmMain->show();
    // A signal during the start-up (a model question's loop) has closed
    // every window already: the main loop would wait for nothing.
    if (!quillon::QuitRequested()) QApplication::exec();
  } catch (const std::exception& e) {
    qapp.failure = QString::fromUtf8(e.what());
  }
  if (!qapp.failure.isEmpty()) ShowFailure(qapp.failure);
  return forms.frmMain ? forms.frmMain->UnattendedExit() : 0;
}
