// query: the model and version a printer's console names.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/ConsoleText.h"
#include "cli/ExitCodes.h"
#include "cli/JsonOut.h"
#include "cli/Output.h"
#include "cli/Signals.h"
#include "netlib/quillon.h"

namespace cli {

int RunQuery(const Options& o) {
  PrinterInfo info{};
  // Ctrl+C cuts the query's waits.
  const QUILLON_NotifyTarget notify{
      [](void*, unsigned int, std::uintptr_t, std::intptr_t) -> std::intptr_t {
        return Interrupted() ? 1 : 0;
      },
      nullptr};
  const int ok = QUILLON_GetPrinterInfoEx(&notify, o.operand.c_str(), &info);
  if (!ok) {
    const std::uint32_t error = QUILLON_GetLastError();
    const std::string code = ErrorCodeText(error);
    const std::string why = ConsoleErrorText(error);
    // The cause in the library's words: the name lookup, the refused
    // connection and the silent console each say their own.
    const std::string detail = LastNetDetail();
    if (o.json)
      OutLine(JsonLine()
                  .Add("host", o.operand)
                  .Add("error", code)
                  .Add("message", why)
                  .Add("detail", detail)
                  .Text());
    ErrLine(o.operand + ": " + why + " (" + code + ")" + (detail.empty() ? "" : ": " + detail));
    return error == ERR_CANCELLED ? kExitAborted : kExitPrinterOpen;
  }
  const std::string model(info.ModelName, ::strnlen(info.ModelName, sizeof info.ModelName));
  const std::string version(info.Version, ::strnlen(info.Version, sizeof info.Version));
  if (o.json) {
    OutLine(JsonLine().Add("host", o.operand).Add("model", model).Add("version", version).Text());
  } else {
    OutLine("Model:   " + model);
    OutLine("Version: " + version);
  }
  return kExitOk;
}

}  // namespace cli
