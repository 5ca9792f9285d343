#include "app/gui/Entry.h"

#include <QApplication>
#include <QMessageBox>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/AppTitles.h"
#include "app/QuillonApp.h"
#include "app/gui/QuitSignals.h"
#include "app/gui/SingleInstance.h"
#include "ui/HelpViewer.h"
#include "ui/TfrmMain.h"

namespace {

// Catches what a handler throws: the loop ends and the entry shows it.
class TQuillonApplication : public QApplication {
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

void ShowFailure(const QString& what) {
  QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kApplicationTitle), what, QMessageBox::Ok);
  box.exec();
}

// The forms of the program, created in their fixed order and kept until
// the end of the run.
struct TForms {
  std::unique_ptr<TfrmMain> frmMain;
};

void CreateForms(TForms& forms) {
  forms.frmMain = std::make_unique<TfrmMain>();  // the first form is the main form
}

}  // namespace

int QuillonMain(int argc, char** argv) {
  // Named before anything asks for the standard folders.
  QCoreApplication::setApplicationName(QStringLiteral("quillon"));
  TQuillonApplication qapp(argc, argv);

  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  // Settings read, model table loaded, command line applied, package opened;
  // destroyed last, writing the settings back, also in a copy that returns 1.
  TQUILLONApp app(std::string(), std::move(args));

  TSingleInstance instance;
  if (!instance.Acquire()) {
    instance.NotifyRunning();
    return 1;
  }

  QApplication::setApplicationDisplayName(QString::fromUtf8(kApplicationTitle));
  quillon::SetHelpFilePath(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                           QLatin1String(kHelpFileName));
  InstallQuitSignals(&qapp);

  TForms forms;
  try {
    CreateForms(forms);
    forms.frmMain->show();
    QApplication::exec();
  } catch (const std::exception& e) {
    qapp.failure = QString::fromUtf8(e.what());
  }
  if (!qapp.failure.isEmpty()) ShowFailure(qapp.failure);
  return 0;
}
