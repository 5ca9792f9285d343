#include "cli/Signals.h"

#include <signal.h>

#include <atomic>

#include "platform/UnpackLimits.h"

namespace cli {
namespace {

std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "used in a signal handler");

extern "C" void OnInterrupt(int sig) {
  g_signal.store(sig);
  platform::RequestUnpackCancel();  // a package being opened stops too
}

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

bool Interrupted() { return g_signal.load() != 0; }

int InterruptSignal() { return g_signal.load(); }

}  // namespace cli
