#include "cli/HostList.h"

#include <arpa/inet.h>

#include <cstdint>
#include <set>

#include "core/transfer/PrinterTarget.h"
#include "platform/Text.h"

using quillon::PrinterTarget;

namespace cli {
namespace {

bool ParseIpv4(const std::string& text, std::uint32_t& value) {
  in_addr a{};
  if (::inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
  value = ntohl(a.s_addr);
  return true;
}

std::string Ipv4Text(std::uint32_t value) {
  in_addr a{};
  a.s_addr = htonl(value);
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

bool AddRange(std::uint32_t first, std::uint32_t last, const std::string& arg,
              std::vector<std::string>& hosts, std::string& error) {
  if (last < first) {
    error = "the range " + arg + " ends before it starts";
    return false;
  }
  const std::uint64_t count = static_cast<std::uint64_t>(last) - first + 1;
  if (count > kMaxRangeHosts) {
    error = "the range " + arg + " holds " + std::to_string(count) + " addresses; at most " +
            std::to_string(kMaxRangeHosts) + " (a /22) are asked at once";
    return false;
  }
  for (std::uint64_t v = first; v <= last; ++v) hosts.push_back(Ipv4Text(static_cast<std::uint32_t>(v)));
  return true;
}

bool AllDigits(const std::string& text) {
  if (text.empty() || text.size() > 3) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

std::string HostOfPrinterName(const std::string& name) {
  PrinterTarget target;
  if (PrinterTarget::Parse(name, &target).Failed() || !target.IsFtp()) return name;
  return target.Host();
}

bool ExpandHostArgument(const std::string& arg, std::vector<std::string>& hosts,
                        std::string& error) {
  if (arg.empty()) {
    error = "an empty host";
    return false;
  }
  if (platform::IsFtpPrinterName(arg)) {
    PrinterTarget target;
    const platform::Error bad = PrinterTarget::Parse(arg, &target);
    if (bad.Failed() || !target.IsFtp()) {
      error = bad.Failed() ? bad.detail : "not an FTP address: " + arg;
      return false;
    }
    hosts.push_back(target.Host());
    return true;
  }
  const std::size_t slash = arg.find('/');
  if (slash != std::string::npos) {
    std::uint32_t base = 0;
    const std::string bits = arg.substr(slash + 1);
    if (!ParseIpv4(arg.substr(0, slash), base) || !AllDigits(bits) || std::stoi(bits) > 32) {
      error = "not an IPv4 block a.b.c.d/n: " + arg;
      return false;
    }
    const int n = std::stoi(bits);
    const std::uint64_t size = std::uint64_t{1} << (32 - n);
    if (size > kMaxRangeHosts) {
      error = "the block " + arg + " holds " + std::to_string(size) + " addresses; at most " +
              std::to_string(kMaxRangeHosts) + " (a /22) are asked at once";
      return false;
    }
    const std::uint32_t first = static_cast<std::uint32_t>(base & ~(size - 1));
    const std::uint32_t last = static_cast<std::uint32_t>(first + size - 1);
    // Network and broadcast addresses hold no printer.
    if (n <= 30) return AddRange(first + 1, last - 1, arg, hosts, error);
    return AddRange(first, last, arg, hosts, error);
  }
  const std::size_t dash = arg.find('-');
  std::uint32_t first = 0;
  if (dash != std::string::npos && ParseIpv4(arg.substr(0, dash), first)) {
    const std::string end = arg.substr(dash + 1);
    std::uint32_t last = 0;
    if (AllDigits(end) && std::stoi(end) <= 255) {
      last = (first & 0xffffff00u) | static_cast<std::uint32_t>(std::stoi(end));
    } else if (!ParseIpv4(end, last)) {
      error = "not an IPv4 range a.b.c.d-e: " + arg;
      return false;
    }
    return AddRange(first, last, arg, hosts, error);
  }
  if (arg.find_first_of(" \t") != std::string::npos) {
    error = "not a host: " + arg;
    return false;
  }
  hosts.push_back(arg);
  return true;
}

bool ExpandHosts(const std::vector<std::string>& args, std::vector<std::string>& hosts,
                 std::string& error) {
  std::vector<std::string> all;
  for (const std::string& arg : args) {
    if (!ExpandHostArgument(arg, all, error)) return false;
  }
  hosts.clear();
  std::set<std::string> seen;
  for (const std::string& h : all) {
    if (seen.insert(platform::LowerAscii(h)).second) hosts.push_back(h);
  }
  if (hosts.empty()) {
    error = "no host given";
    return false;
  }
  return true;
}

}  // namespace cli
