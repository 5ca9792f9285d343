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
    if (o.json)
      OutLine(JsonLine().Add("host", o.operand).Add("error", code).Add("message", why).Text());
    ErrLine(o.operand + ": " + why + " (" + code + ")");
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
