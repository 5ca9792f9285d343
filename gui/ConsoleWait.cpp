#include "gui/ConsoleWait.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QThread>
#include <QWidget>

#include "gui/QuitSignals.h"

namespace {

bool g_inWait = false;

// Takes a close asked of a main window while a query waits: the window
// is not closed under the query; the quit that follows closes it.
class CloseCatcher : public QObject {
 public:
  bool caught = false;

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Close) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    // A dialog's close box is that dialog's own answer (its loop ends
    // when the query has returned to it).
    if (!widget || !widget->isWindow() || qobject_cast<QDialog*>(widget)) return false;
    caught = true;
    event->ignore();
    return true;
  }
};

}  // namespace

namespace quillon {

bool InConsoleWait() { return g_inWait; }

bool ConsoleWaitAborted() {
  if (WaitAborted()) return true;
  auto* app = QCoreApplication::instance();
  // A check from inside the events taken below (it cannot start a query
  // of its own there, but be safe) takes no events itself, and only the
  // window's thread has the window's events to take.
  if (!app || g_inWait || QThread::currentThread() != app->thread()) return false;
  CloseCatcher catcher;
  g_inWait = true;
  app->installEventFilter(&catcher);
  // User input stays queued (no command starts under the query) and so do
  // socket notifiers; drawing, the window manager's requests, timers and
  // queued calls go on.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                  QEventLoop::ExcludeSocketNotifiers);
  app->removeEventFilter(&catcher);
  g_inWait = false;
  if (catcher.caught) RequestQuit();
  return WaitAborted();
}

}  // namespace quillon
