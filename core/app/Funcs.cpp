#include "core/app/Funcs.h"

#include <new>

#include "core/app/TextUtil.h"
#include "platform/Spooler.h"
#include "platform/Text.h"

std::string ExpandLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      out += '\r';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

int GetPortFlags(const std::string& printerName) {
  // An FTP printer is no queue: the print server is not asked about it.
  if (printerName.empty() || platform::IsFtpPrinterName(printerName)) return 0;
  platform::PrinterHandle printer;
  if (!printer.Open(printerName)) return 0;
  platform::SpoolerPrinterData data;
  if (!printer.GetData(data)) return 0;
  int flags = 0;
  if (data.local) flags |= PORT_LOCAL;
  bool multiple = false;
  const std::string first = platform::FirstPort(data.ports, &multiple);
  if (multiple) flags |= PORT_MULTIPLE;
  if (platform::LptNumberOfPort(first) != 0) flags |= PORT_LPT;
  return flags;
}

int EnumPrinterNames(std::vector<std::string>& list) {
  try {
    std::vector<std::string> names = platform::EnumPrinterNames();
    list.reserve(list.size() + names.size());
    for (auto& n : names) list.push_back(std::move(n));
  } catch (const std::bad_alloc&) {
    return 14;
  }
  return 0;
}
