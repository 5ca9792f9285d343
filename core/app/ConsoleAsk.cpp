#include "core/app/ConsoleAsk.h"

#include <cstring>

#include "netlib/quillon.h"

namespace {

std::intptr_t AskAborted(void* context, unsigned int, std::uintptr_t, std::intptr_t) {
  const auto* aborted = static_cast<const std::function<bool()>*>(context);
  // The library's callbacks must not throw: a check that does cannot say "go on".
  try {
    return (*aborted)() ? 1 : 0;
  } catch (...) {
    return 1;
  }
}

}  // namespace

namespace quillon {

ConsoleReply AskPrinterConsole(const std::string& host, const std::function<bool()>& aborted) {
  ConsoleReply reply;
  PrinterInfo info{};
  QUILLON_NotifyTarget notify{&AskAborted, const_cast<std::function<bool()>*>(&aborted)};
  // Without a stop check the plain export does it: the same query, only
  // the library's own bounds.
  const int ok = aborted ? QUILLON_GetPrinterInfoEx(&notify, host.c_str(), &info)
                         : QUILLON_GetPrinterInfo(host.c_str(), &info);
  if (ok) {
    reply.answered = true;
    reply.model.assign(info.ModelName, ::strnlen(info.ModelName, sizeof info.ModelName));
    reply.version.assign(info.Version, ::strnlen(info.Version, sizeof info.Version));
  } else {
    reply.error = QUILLON_GetLastError();
  }
  return reply;
}

}  // namespace quillon
