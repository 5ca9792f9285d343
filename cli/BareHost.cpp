#include "cli/BareHost.h"

#include "cli/Output.h"
#include "platform/Spooler.h"

namespace cli {

bool LooksLikeBareHost(const std::string& name) {
  if (name.empty() || name.size() > 253 || name.find('.') == std::string::npos) return false;
  if (name.front() == '.' || name.back() == '.' || name.find("..") != std::string::npos)
    return false;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '-';
    if (!ok) return false;
  }
  return true;
}

std::string BareHostPrinter(const std::string& name) {
  if (!LooksLikeBareHost(name)) return name;
  platform::PrinterHandle queue;
  if (queue.Open(name)) return name;  // a queue of that name goes first
  const std::string ftp = "ftp://" + name + "/vesta0";
  VerboseLine("no queue is called " + name + ": taken as the FTP printer " + ftp);
  return ftp;
}

}  // namespace cli
