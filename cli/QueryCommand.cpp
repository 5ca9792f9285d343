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
#include "netlib/quillon.h"

namespace cli {

int RunQuery(const Options& o) {
  PrinterInfo info{};
  const int ok = QUILLON_GetPrinterInfo(o.operand.c_str(), &info);
  if (!ok) {
    const std::uint32_t error = QUILLON_GetLastError();
    const std::string code = ErrorCodeText(error);
    const std::string why = ConsoleErrorText(error);
    // The cause in the library's words: the name lookup, the refused
    // connection and the silent console each say their own.
    std::string detail(QUILLON_GetLastErrorDetail(nullptr, 0), '\0');
    if (!detail.empty())
      detail.resize(QUILLON_GetLastErrorDetail(detail.data(), static_cast<uint32_t>(detail.size() + 1)));
    if (o.json)
      OutLine(JsonLine()
                  .Add("host", o.operand)
                  .Add("error", code)
                  .Add("message", why)
                  .Add("detail", detail)
                  .Text());
    ErrLine(o.operand + ": " + why + " (" + code + ")" + (detail.empty() ? "" : ": " + detail));
    return kExitPrinterOpen;
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
