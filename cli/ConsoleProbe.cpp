#include "cli/ConsoleProbe.h"

#include <chrono>
#include <cstring>

#include "cli/ConsoleText.h"
#include "cli/Signals.h"
#include "netlib/quillon.h"

namespace cli {
namespace {

std::intptr_t InterruptAsked(void*, unsigned int, std::uintptr_t, std::intptr_t) {
  return Interrupted() ? 1 : 0;
}

}  // namespace

ConsoleAnswer AskConsole(const std::string& host) {
  ConsoleAnswer a;
  const auto begin = std::chrono::steady_clock::now();
  PrinterInfo info{};
  // The library's query, with Ctrl+C cutting its waits.
  const QUILLON_NotifyTarget notify{&InterruptAsked, nullptr};
  if (QUILLON_GetPrinterInfoEx(&notify, host.c_str(), &info)) {
    a.reachable = true;
    a.model.assign(info.ModelName, ::strnlen(info.ModelName, sizeof info.ModelName));
    a.version.assign(info.Version, ::strnlen(info.Version, sizeof info.Version));
  } else {
    a.error = QUILLON_GetLastError();
    a.message = a.error == ERR_CANCELLED ? std::string("interrupted") : ConsoleErrorText(a.error);
    a.detail = LastNetDetail();
  }
  a.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  return a;
}

}  // namespace cli
