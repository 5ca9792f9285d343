#include "platform/CupsIpp.h"

#include <sys/socket.h>

#include <atomic>
#include <cstring>

namespace platform {
namespace cups {
namespace {

// A server that stops answering must not hold the caller for long.
constexpr int kConnectMs = 5000;
constexpr double kIoSeconds = 15.0;

int GiveUp(http_t*, void*) { return 0; }

std::atomic<long long> requests{0};
std::atomic<long long> connections{0};

std::string StringValue(ipp_attribute_t* a) {
  const char* s = ippGetString(a, 0, nullptr);
  return s ? std::string(s) : std::string();
}

// Reads the attributes of the printer group that starts at `a`; returns the
// first attribute after it (or null at the end of the response).
ipp_attribute_t* ReadGroup(ipp_t* response, ipp_attribute_t* a, PrinterAttributes& out) {
  for (; a && ippGetGroupTag(a) == IPP_TAG_PRINTER; a = ippNextAttribute(response)) {
    const char* name = ippGetName(a);
    if (!name) break;  // the separator before the next printer
    if (std::strcmp(name, "printer-name") == 0) out.name = StringValue(a);
    else if (std::strcmp(name, "printer-make-and-model") == 0) out.makeAndModel = StringValue(a);
    else if (std::strcmp(name, "device-uri") == 0) out.deviceUri = StringValue(a);
    else if (std::strcmp(name, "printer-location") == 0) out.location = StringValue(a);
    else if (std::strcmp(name, "printer-info") == 0) out.info = StringValue(a);
    else if (std::strcmp(name, "printer-type") == 0) {
      const ipp_tag_t tag = ippGetValueTag(a);
      if (tag == IPP_TAG_ENUM || tag == IPP_TAG_INTEGER) out.type = ippGetInteger(a, 0);
    } else if (std::strcmp(name, "member-names") == 0) {
      for (int i = 0; i < ippGetCount(a); ++i) {
        const char* m = ippGetString(a, i, nullptr);
        if (m && *m) out.members.emplace_back(m);
      }
    }
  }
  return a;
}

}  // namespace

Http Connect() {
  Http http(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(),
                         1, kConnectMs, nullptr));
  ++connections;
  if (http) httpSetTimeout(http.get(), kIoSeconds, GiveUp, nullptr);
  return http;
}

std::string QueueResource(const std::string& name, bool isClass) {
  char uri[HTTP_MAX_URI];
  // Escapes whatever a queue name may hold that a path cannot.
  httpAssembleURIf(HTTP_URI_CODING_RESOURCE, uri, sizeof uri, "ipp", nullptr, "localhost", 0,
                   isClass ? "/classes/%s" : "/printers/%s", name.c_str());
  std::string s(uri);
  const std::string prefix = "ipp://localhost";
  return s.compare(0, prefix.size(), prefix) == 0 ? s.substr(prefix.size()) : s;
}

std::string QueueUri(const std::string& name, bool isClass) {
  return "ipp://localhost" + QueueResource(name, isClass);
}

std::string JobUri(int jobId) {
  return "ipp://localhost/jobs/" + std::to_string(jobId);
}

Ipp NewRequest(ipp_op_t op) {
  Ipp req(ippNewRequest(op));
  ippAddString(req.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  return req;
}

Ipp Do(http_t* http, Ipp request, const char* resource) {
  if (!http || !request) return nullptr;
  ++requests;
  // cupsDoRequest frees the request in every case.
  return Ipp(cupsDoRequest(http, request.release(), resource));
}

ipp_status_t StatusOf(ipp_t* response) {
  return response ? ippGetStatusCode(response) : IPP_STATUS_ERROR_INTERNAL;
}

bool Succeeded(ipp_t* response) {
  return response && ippGetStatusCode(response) <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

std::string Text(ipp_t* ipp, const char* name) {
  if (!ipp) return {};
  ipp_attribute_t* a = ippFindAttribute(ipp, name, IPP_TAG_ZERO);
  if (!a) return {};
  const char* s = ippGetString(a, 0, nullptr);
  return s ? std::string(s) : std::string();
}

int Integer(ipp_t* ipp, const char* name, int fallback) {
  if (!ipp) return fallback;
  ipp_attribute_t* a = ippFindAttribute(ipp, name, IPP_TAG_ZERO);
  if (!a) return fallback;
  switch (ippGetValueTag(a)) {
    case IPP_TAG_INTEGER:
    case IPP_TAG_ENUM:
      return ippGetInteger(a, 0);
    default:
      return fallback;
  }
}

std::vector<PrinterAttributes> PrinterGroups(ipp_t* response) {
  std::vector<PrinterAttributes> groups;
  if (!response) return groups;
  ipp_attribute_t* a = ippFirstAttribute(response);
  while (a) {
    if (ippGetGroupTag(a) != IPP_TAG_PRINTER || !ippGetName(a)) {
      a = ippNextAttribute(response);
      continue;
    }
    PrinterAttributes group;
    a = ReadGroup(response, a, group);
    groups.push_back(std::move(group));
  }
  return groups;
}

namespace {
const char* NoPassword(const char*, http_t*, const char*, const char*, void*) { return nullptr; }
}  // namespace

NoPasswordPrompt::NoPasswordPrompt() { cupsSetPasswordCB2(NoPassword, nullptr); }
// A null callback is libcups's own prompt again.
NoPasswordPrompt::~NoPasswordPrompt() { cupsSetPasswordCB2(nullptr, nullptr); }

void CountRequest() { ++requests; }
long long RequestCount() { return requests.load(); }
long long ConnectionCount() { return connections.load(); }

}  // namespace cups
}  // namespace platform
