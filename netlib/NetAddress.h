#pragma once
#include <sys/socket.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/Error.h"

namespace quillon::net {

// One socket address, IPv4 or IPv6.
struct NetAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;

  int Family() const { return storage.ss_family; }
  const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&storage); }
  int Port() const;
  void SetPort(int port);
  // Same address, whatever the ports.
  bool SameHost(const NetAddress& other) const;
  // Numeric form without the port: "127.0.0.1", "::1".
  std::string HostText() const;

  // The local or the remote end of a connected socket.
  static bool OfSocket(int fd, bool peer, NetAddress* out);
};

// The code of an address that cannot be one (an input error).
constexpr int kErrBadAddress = 87;

// A host and its port as a caller writes them: "name", "192.168.1.5",
// "::1", "[::1]", each optionally with ":port" (brackets needed for IPv6).
struct HostPort {
  std::string host;
  int port = 0;
};
platform::Error ParseHostPort(std::string_view text, int defaultPort, HostPort* out);

// How long a caller waits for a name's lookup, and its "stop now?" (asked
// at least every 200 ms while it waits; null: none).
inline constexpr int kLookupBoundMs = 10000;
struct LookupWait {
  int boundMs = kLookupBoundMs;
  bool (*abort)(void* context) = nullptr;
  void* context = nullptr;
};

// Every address of host (numeric or a name, looked up with getaddrinfo),
// in the resolver's order. Fails with ERR_CONNECT and the resolver's text,
// or the bound that passed without an answer; with ERR_CANCELLED when the
// abort came first. The caller never waits past wait.boundMs.
platform::Error ResolveHost(const std::string& host, int port, std::vector<NetAddress>* out,
                            const LookupWait& wait = {});

// The folder of a printer's FTP server that takes download jobs, when an
// address names none.
inline constexpr std::string_view kDefaultFtpFolder = "vesta0";

// "ftp://host[:port][/folder[/]]": host as in ParseHostPort (IPv6 in
// brackets), port 21 when none is given, kDefaultFtpFolder when no folder
// is given ("ftp://h" and "ftp://h/"). The folder is one name: one trailing
// "/" is dropped, any other "/", a folder "." or "..", or a control
// character is refused, so that no part of the address can be read as
// another host or another folder. A malformed target fails with
// kErrBadAddress and the reason.
struct FtpTarget {
  std::string host;
  int port = 21;
  std::string directory;
};
platform::Error ParseFtpTarget(std::string_view target, FtpTarget* out);

}  // namespace quillon::net
