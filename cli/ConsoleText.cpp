#include "cli/ConsoleText.h"

#include <cstdio>
#include <vector>

#include "netlib/quillon.h"

namespace cli {

std::string ConsoleErrorText(std::uint32_t error) {
  return error == ERR_NOT_PRINTER ? "the console does not name a printer model"
         : error == ERR_CONNECT   ? "the printer's console does not answer"
                                  : "the host cannot be asked";
}

std::string ErrorCodeText(std::uint32_t error) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08x", error);
  return code;
}

std::string LastNetDetail() {
  const std::uint32_t length = QUILLON_GetLastErrorDetail(nullptr, 0);
  if (length == 0) return std::string();
  std::vector<char> text(length + 1, '\0');
  QUILLON_GetLastErrorDetail(text.data(), static_cast<std::uint32_t>(text.size()));
  return std::string(text.data());
}

}  // namespace cli
