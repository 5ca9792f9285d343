#include "gui/QuitSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>

#include "platform/UnpackLimits.h"

namespace {

int g_pipe[2] = {-1, -1};

extern "C" void OnQuitSignal(int) {
  // A package being opened on the UI thread stops at once, so the loop
  // gets to the quit.
  platform::RequestUnpackCancel();
  const char c = 1;
  // Only async-signal-safe calls here: the loop does the rest.
  [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &c, 1);
}

}  // namespace

void InstallQuitSignals(QObject* parent) {
  if (g_pipe[0] >= 0) return;
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0) return;
  auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, parent);
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
    char buf[16];
    while (::read(g_pipe[0], buf, sizeof buf) > 0) {
    }
    QApplication::closeAllWindows();
    QApplication::quit();
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
