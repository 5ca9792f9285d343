// Port texts of spooler queues: which of them stand for a parallel port.

#include "platform/Spooler.h"

#include "platform/Text.h"

namespace platform {

int LptNumberOfPort(const std::string& port) {
  // The names the operator knows: LPT1: .. LPT9:.
  if (port.size() == 5) {
    std::string name = port;
    const char digit = name[3];
    name[3] = '0';
    if (digit >= '1' && digit <= '9' && SameTextNoCase(name, "lpt0:")) return digit - '0';
  }
  // The CUPS device of a local parallel port: /dev/lp0 is the first one.
  static const char kScheme[] = "parallel:";
  static const std::string kDevice = "/dev/lp";
  const std::size_t schemeLen = sizeof kScheme - 1;
  if (port.size() == schemeLen + kDevice.size() + 1 &&
      SameTextNoCase(std::string_view(port).substr(0, schemeLen), kScheme) &&
      port.compare(schemeLen, kDevice.size(), kDevice) == 0) {
    const char digit = port.back();
    if (digit >= '0' && digit <= '8') return digit - '0' + 1;
  }
  return 0;
}

std::string FirstPort(const std::string& ports, bool* multiple) {
  const std::size_t begin = ports.find_first_not_of(',');
  if (multiple) *multiple = false;
  if (begin == std::string::npos) return {};
  std::size_t end = ports.find(',', begin);
  if (end == std::string::npos) end = ports.size();
  if (multiple) *multiple = ports.find_first_not_of(',', end) != std::string::npos;
  return ports.substr(begin, end - begin);
}

}  // namespace platform
