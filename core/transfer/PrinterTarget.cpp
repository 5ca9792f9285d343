#include "core/transfer/PrinterTarget.h"

#include <arpa/inet.h>

#include "netlib/NetAddress.h"
#include "platform/Text.h"

namespace quillon {

namespace {

constexpr int kFtpPort = 21;
// A print server's queue names stay below 128 bytes.
constexpr std::size_t kMaxQueueName = 127;

platform::Error BadQueue(std::string_view text, const std::string& why) {
  return platform::Error::Of(quillon::net::kErrBadAddress,
                             "not a printer \"" + std::string(text) + "\": " + why);
}

bool IsIpv6(const std::string& host) { return host.find(':') != std::string::npos; }

// One spelling per address: "FE80:0::1" and "fe80::1" are one host.
std::string CanonicalHost(const std::string& host) {
  if (IsIpv6(host)) {
    in6_addr a{};
    char text[INET6_ADDRSTRLEN] = {};
    if (::inet_pton(AF_INET6, host.c_str(), &a) == 1 &&
        ::inet_ntop(AF_INET6, &a, text, sizeof text) != nullptr)
      return text;
  }
  return platform::LowerAscii(host);
}

bool StartsWithFtpScheme(std::string_view text) {
  const std::string_view scheme = platform::kFtpScheme;
  return text.size() >= scheme.size() &&
         platform::SameTextNoCase(text.substr(0, scheme.size()), scheme);
}

}  // namespace

platform::Error PrinterTarget::Parse(std::string_view text, PrinterTarget* out) {
  PrinterTarget t;
  t.valid_ = true;
  if (StartsWithFtpScheme(text)) {
    quillon::net::FtpTarget ftp;
    const platform::Error e = quillon::net::ParseFtpTarget(text, &ftp);
    if (e.Failed()) return e;
    t.route_ = TransferRoute::Ftp;
    t.host_ = CanonicalHost(ftp.host);
    t.port_ = ftp.port;
    t.folder_ = ftp.directory;
  } else {
    if (text.empty()) return BadQueue(text, "an empty name");
    if (text.size() > kMaxQueueName)
      return BadQueue(text, "a queue name is at most " + std::to_string(kMaxQueueName) + " bytes");
    for (char c : text) {
      const auto u = static_cast<unsigned char>(c);
      if (u <= 0x20 || u == 0x7f || c == '/' || c == '#')
        return BadQueue(text, c == '/' ? "a queue name holds no \"/\" (an FTP address begins with ftp://)"
                                       : "a queue name holds no blank, control character or \"#\"");
    }
    t.route_ = TransferRoute::Spooler;
    t.queue_ = std::string(text);
  }
  *out = std::move(t);
  return platform::Error::Ok();
}

PrinterTarget PrinterTarget::Of(std::string_view text) {
  PrinterTarget t;
  Parse(text, &t);
  return t;
}

std::string PrinterTarget::HostPort() const {
  std::string text = IsIpv6(host_) ? "[" + host_ + "]" : host_;
  if (port_ != kFtpPort) text += ":" + std::to_string(port_);
  return text;
}

std::string PrinterTarget::Identity() const {
  if (!valid_) return std::string();
  if (route_ == TransferRoute::Ftp) return std::string(platform::kFtpScheme) + HostPort();
  return platform::LowerAscii(queue_);
}

std::string PrinterTarget::Canonical() const {
  if (!valid_) return std::string();
  if (route_ == TransferRoute::Ftp)
    return std::string(platform::kFtpScheme) + HostPort() + "/" + folder_;
  return queue_;
}

std::string PrinterTarget::CanonicalOfText(std::string_view text) {
  PrinterTarget t;
  return Parse(text, &t).Failed() ? std::string(text) : t.Canonical();
}

std::string PrinterTarget::IdentityOfText(std::string_view text) {
  PrinterTarget t;
  return Parse(text, &t).Failed() ? platform::LowerAscii(text) : t.Identity();
}

bool PrinterTarget::SameTarget(std::string_view a, std::string_view b) {
  PrinterTarget ta, tb;
  if (Parse(a, &ta).Failed() || Parse(b, &tb).Failed()) return a == b;
  if (ta.Route() != tb.Route()) return false;
  if (ta.Route() == TransferRoute::Spooler)
    return platform::LowerAscii(ta.Queue()) == platform::LowerAscii(tb.Queue());
  return ta.Canonical() == tb.Canonical();
}

}  // namespace quillon
