#include "cli/ConsoleProbe.h"

#include <chrono>
#include <cstring>

#include "cli/ConsoleText.h"
#include "netlib/quillon.h"

namespace cli {

ConsoleAnswer AskConsole(const std::string& host) {
  ConsoleAnswer a;
  const auto begin = std::chrono::steady_clock::now();
  PrinterInfo info{};
  if (QUILLON_GetPrinterInfo(host.c_str(), &info)) {
    a.reachable = true;
    a.model.assign(info.ModelName, ::strnlen(info.ModelName, sizeof info.ModelName));
    a.version.assign(info.Version, ::strnlen(info.Version, sizeof info.Version));
  } else {
    a.error = QUILLON_GetLastError();
    a.message = ConsoleErrorText(a.error);
    a.detail = LastNetDetail();
  }
  a.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  return a;
}

}  // namespace cli
