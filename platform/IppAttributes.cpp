#include "platform/IppAttributes.h"

#include <cups/cups.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/CupsIpp.h"
#include "platform/HostLookup.h"
#include "platform/IppHandshakeGuard.h"
#include "platform/UniqueFd.h"

namespace platform {
namespace ipp {
namespace {

constexpr int kAbortPollMs = 200;
const char kNoConnection[] = "no connection within the bound";

using Clock = std::chrono::steady_clock;

struct Wait {
  const std::function<bool()>* abort;
  Clock::time_point deadline;
  bool aborted = false;
};

// libcups asks this each time a read or write has waited its slice: 0 ends
// the request.
int KeepWaiting(http_t*, void* data) {
  Wait& w = *static_cast<Wait*>(data);
  if (*w.abort && (*w.abort)()) {
    w.aborted = true;
    return 0;
  }
  return Clock::now() < w.deadline ? 1 : 0;
}

std::vector<std::string> Texts(ipp_t* response, const char* name) {
  std::vector<std::string> out;
  ipp_attribute_t* a = ippFindAttribute(response, name, IPP_TAG_ZERO);
  if (!a) return out;
  for (int i = 0; i < ippGetCount(a); ++i) {
    const ipp_tag_t tag = ippGetValueTag(a);
    if (tag == IPP_TAG_STRING) {
      int len = 0;
      const unsigned char* bytes = static_cast<const unsigned char*>(ippGetOctetString(a, i, &len));
      bool printable = true;
      for (int k = 0; k < len; ++k) printable = printable && bytes[k] >= 0x20 && bytes[k] < 0x7f;
      std::string v;
      if (printable) {
        v.assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(len));
      } else {
        char hex[3];
        for (int k = 0; k < len; ++k) {
          std::snprintf(hex, sizeof hex, "%02x", bytes[k]);
          v += hex;
        }
      }
      out.push_back(v);
    } else if (tag == IPP_TAG_ENUM && !std::strcmp(name, "printer-state")) {
      out.push_back(ippEnumString(name, ippGetInteger(a, i)));
    } else if (tag == IPP_TAG_INTEGER || tag == IPP_TAG_ENUM) {
      out.push_back(std::to_string(ippGetInteger(a, i)));
    } else {
      const char* s = ippGetString(a, i, nullptr);
      out.push_back(s ? s : "");
    }
  }
  return out;
}

// A TCP connect to host:port within the deadline, cut by abort.
Error Reach(const char* host, int port, Clock::time_point deadline,
            const std::function<bool()>& abort) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_family = AF_UNSPEC;
  const std::string service = std::to_string(port);
  // The lookup counts against the same deadline and stops at the abort.
  const auto leftMs = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  LookupResult found = LookupHost(host, service, hints, static_cast<int>(std::max<long long>(leftMs, 0)),
                                  abort, kAbortPollMs);
  if (found.end == LookupEnd::kAborted) return Error::Of(kIppAborted, "");
  if (found.end == LookupEnd::kTimedOut)
    return Error::Of(kIppNoAnswer, std::string("cannot resolve ") + host + ": no answer within the bound");
  const int gai = found.code;
  if (gai != 0) return Error::Of(kIppNoAnswer, std::string("cannot resolve ") + host + ": " + gai_strerror(gai));
  addrinfo* list = found.list.get();
  Error last = Error::Of(kIppNoAnswer, "no address");
  for (addrinfo* ai = list; ai; ai = ai->ai_next) {
    UniqueFd fd(::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol));
    if (!fd.ok()) {
      last = Error::FromErrno(kIppNoAnswer, "socket");
      continue;
    }
    if (::connect(fd.get(), ai->ai_addr, ai->ai_addrlen) == 0) return Error::Ok();
    if (errno != EINPROGRESS) {
      last = Error::FromErrno(kIppNoAnswer, "connect");
      continue;
    }
    for (;;) {
      if (abort && abort()) return Error::Of(kIppAborted, "");
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return Error::Of(kIppNoAnswer, kNoConnection);
      pollfd p{fd.get(), POLLOUT, 0};
      const int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, kAbortPollMs)));
      if (n < 0 && errno != EINTR) return Error::FromErrno(kIppNoAnswer, "poll");
      if (n <= 0) continue;
      int soError = 0;
      socklen_t len = sizeof soError;
      ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &soError, &len);
      if (soError == 0) return Error::Ok();
      last = Error::FromErrno(kIppNoAnswer, "connect", soError);
      break;
    }
  }
  return last;
}

std::string First(ipp_t* response, const char* name) {
  const std::vector<std::string> v = Texts(response, name);
  return v.empty() ? std::string() : v.front();
}

// silent: the printer took no connection or gave no answer within the
// bound (worth another try, unlike a refusal or an answer).
Reply AskOnce(const std::string& uri, const char* scheme, const char* host, int port,
              const char* resource, int timeoutMs, const std::function<bool()>& abort,
              bool& silent) {
  Reply r;
  silent = false;
  const http_encryption_t encryption =
      !std::strcmp(scheme, "ipps") ? HTTP_ENCRYPTION_ALWAYS : HTTP_ENCRYPTION_IF_REQUESTED;
  // The connect is tried first on a socket of our own, in slices, so an
  // abort is heard within one and a refusal keeps its errno (libcups's
  // connect reports every failure as a timeout).
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  const Error reach = Reach(host, port, deadline, abort);
  if (reach.Failed()) {
    silent = reach.detail == kNoConnection;
    r.error = Error::Of(reach.code, reach.detail.empty() ? "" : "connect to " + uri + ": " + reach.detail);
    if (reach.code == kIppAborted) r.error.detail = "interrupted";
    return r;
  }
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  // Made without connecting (msec 0), so that the timeout callback is in
  // place before libcups connects. libcups's TLS handshake does not ask
  // it: a guard cuts the handshake at the deadline or the abort instead.
  cups::Http http(httpConnect2(host, port, nullptr, AF_UNSPEC, encryption, 1, 0, nullptr));
  if (!http) {
    r.error = Error::Of(kIppSetup, "connect to " + uri + ": " + cupsLastErrorString());
    return r;
  }
  Wait wait{&abort, deadline};
  httpSetTimeout(http.get(), kAbortPollMs / 1000.0, &KeepWaiting, &wait);
  int cancel = 0;
  std::optional<HandshakeGuard> guard;
  if (encryption == HTTP_ENCRYPTION_ALWAYS) guard.emplace(http.get(), port, deadline, abort);
  const int connected = httpReconnect2(http.get(), static_cast<int>(std::max<long long>(left, 1)), &cancel);
  const HandshakeGuard::Outcome guarded = guard ? guard->Stop() : HandshakeGuard::Outcome{};
  if (connected != 0) {
    if (wait.aborted || guarded.aborted) {
      r.error = Error::Of(kIppAborted, "interrupted");
      return r;
    }
    if (guarded.cut) {
      // Worth another try, as a connection that was not taken.
      silent = true;
      r.error = Error::Of(kIppNoAnswer, "no TLS handshake from " + uri + " within " +
                                            std::to_string(timeoutMs) + " ms");
      return r;
    }
    r.error = Error::Of(kIppNoAnswer, "connect to " + uri + ": " + cupsLastErrorString());
    return r;
  }
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  static const char* const kWanted[] = {
      "printer-make-and-model", "printer-device-id", "printer-uuid", "printer-firmware-name",
      "printer-firmware-string-version", "printer-firmware-version", "printer-state",
      "printer-state-reasons", "printer-up-time"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(sizeof kWanted / sizeof *kWanted), nullptr, kWanted);
  cups::Ipp response(cupsDoRequest(http.get(), request, resource));
  if (wait.aborted) {
    r.error = Error::Of(kIppAborted, "interrupted");
    return r;
  }
  if (!response) {
    // At the bound libcups's own text is of no use ("Success").
    const bool late = Clock::now() >= deadline;
    r.error = Error::Of(kIppNoAnswer,
                        "no answer from " + uri +
                            (late ? " within " + std::to_string(timeoutMs) + " ms"
                                  : std::string(": ") + cupsLastErrorString()));
    silent = late;
    return r;
  }
  if (ippGetStatusCode(response.get()) > IPP_STATUS_OK_EVENTS_COMPLETE) {
    r.error = Error::Of(kIppRefused, "the printer refused Get-Printer-Attributes: " +
                                         std::string(cupsLastErrorString()));
    return r;
  }
  ipp_t* a = response.get();
  PrinterAttributes& p = r.attributes;
  p.makeAndModel = First(a, "printer-make-and-model");
  p.deviceId = First(a, "printer-device-id");
  p.uuid = First(a, "printer-uuid");
  p.firmwareNames = Texts(a, "printer-firmware-name");
  p.firmwareStrings = Texts(a, "printer-firmware-string-version");
  p.firmwareVersions = Texts(a, "printer-firmware-version");
  p.state = First(a, "printer-state");
  p.stateReasons = Texts(a, "printer-state-reasons");
  if (ippFindAttribute(a, "printer-up-time", IPP_TAG_INTEGER))
    p.upTime = ippGetInteger(ippFindAttribute(a, "printer-up-time", IPP_TAG_INTEGER), 0);
  return r;
}

}  // namespace

Reply GetPrinterAttributes(const std::string& uri, int timeoutMs, int retries,
                           const std::function<bool()>& abort) {
  char scheme[32], user[256], host[256], resource[1024];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, uri.c_str(), scheme, sizeof scheme, user, sizeof user,
                      host, sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK ||
      (std::strcmp(scheme, "ipp") && std::strcmp(scheme, "ipps"))) {
    Reply r;
    r.error = Error::Of(kIppSetup, "not an ipp:// or ipps:// address: " + uri);
    return r;
  }
  Reply r;
  for (int attempt = 0; attempt <= std::max(0, retries); ++attempt) {
    bool silent = false;
    r = AskOnce(uri, scheme, host, port, resource, std::max(1, timeoutMs), abort, silent);
    // Only silence is worth a second try; an answer, a refused connection
    // or an abort is final.
    if (!silent || (abort && abort())) break;
  }
  return r;
}

}  // namespace ipp
}  // namespace platform
