#include "gui/QuitSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QList>
#include <QMetaObject>
#include <QPointer>
#include <QSocketNotifier>

#include "platform/UnpackLimits.h"

namespace {

int g_pipe[2] = {-1, -1};
bool g_quitRequested = false;
// Set by the handler itself: a wait on the user-interface thread (which
// keeps the loop from reading the pipe) sees the signal at once.
std::atomic<bool> g_signalled{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnQuitSignal(int) {
  // A package being opened on the UI thread stops at once, so the loop
  // gets to the quit.
  platform::RequestUnpackCancel();
  g_signalled.store(true);
  const char c = 1;
  // Only async-signal-safe calls here: the loop does the rest.
  [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &c, 1);
}

void Dismiss(QDialog* dialog) {
  // reject() is what the close box does: Cancel for a question, the abort
  // request for the progress window.
  if (dialog->isVisible()) dialog->reject();
}

// Dismisses each dialog that shows once the program is ending: its modal
// loop gets to the dismissal at its first turn.
class LateDialogDismisser : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && g_quitRequested) {
      auto* dialog = qobject_cast<QDialog*>(watched);
      if (dialog && dialog->isWindow()) {
        QPointer<QDialog> guarded(dialog);
        QMetaObject::invokeMethod(dialog, [guarded] {
          if (guarded) Dismiss(guarded);
        }, Qt::QueuedConnection);
      }
    }
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

namespace quillon {

bool QuitRequested() { return g_quitRequested; }

void ClearQuitRequest() {
  g_quitRequested = false;
  g_signalled.store(false);
}

bool WaitAborted() {
  // The quit is carried out here rather than when the loop reads the pipe,
  // so the dialogs are dismissed and the windows closed as for any signal.
  if (g_signalled.load() && !g_quitRequested) RequestQuit();
  return g_quitRequested;
}

void RequestQuit() {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  const bool first = !g_quitRequested;
  g_quitRequested = true;
  if (!app) return;
  static QPointer<LateDialogDismisser> dismisser;
  if (!dismisser) {
    dismisser = new LateDialogDismisser(app);
    app->installEventFilter(dismisser);
  }
  if (!first) return;
  // The innermost modal dialog first: its loop is the one running, and
  // each outer loop ends when the code after the inner one returns to it.
  QList<QPointer<QDialog>> dialogs;
  if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
    dialogs.append(modal);
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(w);
    if (dialog && dialog->isVisible() && !dialogs.contains(dialog)) dialogs.append(dialog);
  }
  for (const QPointer<QDialog>& dialog : dialogs) {
    if (dialog) Dismiss(dialog);
  }
  QApplication::closeAllWindows();
  // Leaves every running loop; a loop started before the main one (a
  // question during the start-up) has been ended by its dismissal, and the
  // entry does not start the main loop after a request.
  QApplication::quit();
}

}  // namespace quillon

void quillon::InstallQuitSignals(QObject* parent) {
  if (g_pipe[0] >= 0) return;
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0) return;
  auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, parent);
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
    char buf[16];
    while (::read(g_pipe[0], buf, sizeof buf) > 0) {
    }
    quillon::RequestQuit();
    // An open the signal stopped has ended by now; should a window refuse
    // to close, later opens must not stop too.
    platform::ClearUnpackCancel();
  });
  struct sigaction sa {};
  sa.sa_handler = OnQuitSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
}
