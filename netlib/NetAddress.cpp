#include "netlib/NetAddress.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstring>
#include <functional>

#include "netlib/FtpSession.h"
#include "netlib/quillon.h"
#include "platform/HostLookup.h"
#include "platform/Text.h"

namespace quillon::net {

int NetAddress::Port() const {
  if (Family() == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
  if (Family() == AF_INET6)
    return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
  return -1;
}

void NetAddress::SetPort(int port) {
  const auto p = htons(static_cast<uint16_t>(port));
  if (Family() == AF_INET) reinterpret_cast<sockaddr_in*>(&storage)->sin_port = p;
  if (Family() == AF_INET6) reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port = p;
}

bool NetAddress::SameHost(const NetAddress& other) const {
  if (Family() != other.Family()) return false;
  if (Family() == AF_INET)
    return reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr.s_addr ==
           reinterpret_cast<const sockaddr_in*>(&other.storage)->sin_addr.s_addr;
  if (Family() == AF_INET6)
    return std::memcmp(&reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr,
                       &reinterpret_cast<const sockaddr_in6*>(&other.storage)->sin6_addr,
                       sizeof(in6_addr)) == 0;
  return false;
}

std::string NetAddress::HostText() const {
  char text[INET6_ADDRSTRLEN] = {};
  const void* raw = nullptr;
  if (Family() == AF_INET) raw = &reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr;
  if (Family() == AF_INET6) raw = &reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr;
  if (raw == nullptr || ::inet_ntop(Family(), raw, text, sizeof(text)) == nullptr) return {};
  return text;
}

bool NetAddress::OfSocket(int fd, bool peer, NetAddress* out) {
  NetAddress a;
  a.length = sizeof(a.storage);
  auto* sa = reinterpret_cast<sockaddr*>(&a.storage);
  if ((peer ? ::getpeername(fd, sa, &a.length) : ::getsockname(fd, sa, &a.length)) != 0)
    return false;
  *out = a;
  return true;
}

namespace {

platform::Error Bad(std::string_view text, const std::string& why) {
  return platform::Error::Of(kErrBadAddress,
                             "malformed address \"" + std::string(text) + "\": " + why);
}

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_';
}

bool IsIpv6Literal(const std::string& text) {
  in6_addr a{};
  return ::inet_pton(AF_INET6, text.c_str(), &a) == 1;
}

// "21" -> 21; false for anything but 1..65535 in plain digits.
bool ParsePort(std::string_view text, int* port) {
  if (text.empty() || text.size() > 5) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return false;
  *port = value;
  return true;
}

}  // namespace

platform::Error ParseHostPort(std::string_view text, int defaultPort, HostPort* out) {
  HostPort result;
  result.port = defaultPort;
  std::string_view portText;
  bool hasPort = false;
  if (text.empty()) return Bad(text, "no host");
  if (text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string_view::npos) return Bad(text, "no closing ']'");
    result.host = std::string(text.substr(1, close - 1));
    if (!IsIpv6Literal(result.host)) return Bad(text, "not an IPv6 address in brackets");
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return Bad(text, "text after ']'");
      portText = rest.substr(1);
      hasPort = true;
    }
  } else if (text.find(':') != text.rfind(':')) {
    // Several colons: a bare IPv6 address, which can carry no port.
    result.host = std::string(text);
    if (!IsIpv6Literal(result.host)) return Bad(text, "an IPv6 address with a port needs brackets");
  } else {
    const size_t colon = text.find(':');
    result.host = std::string(text.substr(0, colon));
    if (colon != std::string_view::npos) {
      portText = text.substr(colon + 1);
      hasPort = true;
    }
    if (result.host.empty()) return Bad(text, "no host");
    for (char c : result.host) {
      if (c == '@') return Bad(text, "user names are not supported");
      if (!IsNameChar(c)) return Bad(text, std::string("character '") + c + "' in the host");
    }
  }
  if (hasPort && !ParsePort(portText, &result.port)) return Bad(text, "port is not 1..65535");
  *out = result;
  return platform::Error::Ok();
}

platform::Error ResolveHost(const std::string& host, int port, std::vector<NetAddress>* out,
                            const LookupWait& wait) {
  out->clear();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  const std::string service = std::to_string(port);
  std::function<bool()> abort;
  if (wait.abort != nullptr) abort = [&wait] { return wait.abort(wait.context); };
  const platform::LookupResult r = platform::LookupHost(host, service, hints, wait.boundMs, abort);
  if (r.end == platform::LookupEnd::kAborted)
    return platform::Error::Of(ERR_CANCELLED, "resolve " + host + ": cancelled by the caller");
  if (r.end == platform::LookupEnd::kTimedOut)
    return platform::Error::Of(ERR_CONNECT, "resolve " + host + ": no answer from the name service within " +
                                                std::to_string((wait.boundMs + 999) / 1000) + " s");
  if (r.code != 0) {
    const std::string why = r.code == EAI_SYSTEM ? std::strerror(r.error) : ::gai_strerror(r.code);
    return platform::Error::Of(ERR_CONNECT, "resolve " + host + ": " + why);
  }
  const addrinfo* found = r.list.get();
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
    if ((a->ai_family != AF_INET && a->ai_family != AF_INET6) ||
        a->ai_addrlen > sizeof(sockaddr_storage))
      continue;
    NetAddress n;
    std::memcpy(&n.storage, a->ai_addr, a->ai_addrlen);
    n.length = a->ai_addrlen;
    out->push_back(n);
  }
  if (out->empty())
    return platform::Error::Of(ERR_CONNECT, "resolve " + host + ": no IPv4 or IPv6 address");
  return platform::Error::Ok();
}

platform::Error ParseFtpTarget(std::string_view target, FtpTarget* out) {
  const std::string_view scheme = platform::kFtpScheme;
  if (target.size() < scheme.size() ||
      !platform::SameTextNoCase(target.substr(0, scheme.size()), scheme))
    return Bad(target, "does not begin with ftp://");
  const std::string_view rest = target.substr(scheme.size());
  const size_t slash = rest.find('/');
  const std::string_view authority = rest.substr(0, slash);
  if (!authority.empty() && authority.front() != '[' &&
      authority.find(':') != authority.rfind(':'))
    return Bad(target, "an IPv6 address needs brackets");
  HostPort hp;
  platform::Error e = ParseHostPort(authority, 21, &hp);
  if (e.Failed()) return Bad(target, e.detail.substr(e.detail.find("\": ") + 3));
  FtpTarget result;
  result.host = hp.host;
  result.port = hp.port;
  if (slash != std::string_view::npos) {
    std::string_view folder = rest.substr(slash + 1);
    // "ftp://h/" names the usual folder; "ftp://h/dir/" names dir.
    if (!folder.empty()) {
      if (folder.back() == '/') folder.remove_suffix(1);
      if (folder.empty()) return Bad(target, "an empty folder");
    }
    if (folder.find('/') != std::string_view::npos)
      return Bad(target, "the folder holds \"/\" (one folder name is expected)");
    if (folder == "." || folder == "..") return Bad(target, "the folder is \".\" or \"..\"");
    for (char c : folder) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
        return Bad(target, c == '\r' || c == '\n' ? "line end in the directory"
                                                  : "control character in the directory");
    }
    result.directory = std::string(folder);
  }
  if (result.directory.empty()) result.directory = std::string(kDefaultFtpFolder);
  if (result.directory.size() > kMaxDirectoryName)
    return Bad(target, "directory longer than " + std::to_string(kMaxDirectoryName) + " bytes");
  *out = result;
  return platform::Error::Ok();
}

}  // namespace quillon::net
