#include "cli/ConsoleProbe.h"

#include <chrono>
#include <cstring>

#include "cli/ConsoleText.h"
#include "cli/Signals.h"
#include "netlib/ConsoleQuery.h"
#include "netlib/quillon.h"

namespace cli {
namespace {

bool InterruptAsked(void*) { return Interrupted(); }

}  // namespace

ConsoleAnswer AskConsole(const std::string& host) {
  ConsoleAnswer a;
  const auto begin = std::chrono::steady_clock::now();
  PrinterInfo info{};
  // The library's own query with its bounds, and Ctrl+C cutting its waits
  // (the export has no way to be stopped).
  quillon::net::ConsoleOptions options;
  options.abort = &InterruptAsked;
  const platform::Error e = quillon::net::GetPrinterInfo(host.c_str(), &info, options);
  if (!e.Failed()) {
    a.reachable = true;
    a.model.assign(info.ModelName, ::strnlen(info.ModelName, sizeof info.ModelName));
    a.version.assign(info.Version, ::strnlen(info.Version, sizeof info.Version));
  } else {
    a.error = static_cast<std::uint32_t>(e.code);
    a.message = a.error == ERR_CANCELLED ? std::string("interrupted") : ConsoleErrorText(a.error);
    a.detail = e.detail;
  }
  a.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  return a;
}

}  // namespace cli
