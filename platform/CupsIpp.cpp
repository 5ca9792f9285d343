#include "platform/CupsIpp.h"

#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

namespace platform {
namespace cups {
namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;


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

struct Connection::Wait {
  AbortCheck abort;
  WaitBounds bounds;
  bool waiting = false;  // the calls so far belong to one wait
  Clock::time_point since;
  Clock::time_point lastCall;
  bool cutByAbort = false;

  bool Aborted() const { return abort && abort(); }
  // The idle bound that holds now.
  int LimitMs(bool aborted) const {
    if (!aborted) return bounds.idleMs;
    return bounds.afterAbortMs < 0 ? 0 : std::min(bounds.idleMs, bounds.afterAbortMs);
  }
};

namespace {

// libcups calls this each time a read or write has waited one slice
// without progress: 0 ends the request. Calls that follow each other
// within two slices are one wait; a longer gap means data came between.
int KeepWaiting(http_t*, void* data) {
  Connection::Wait& w = *static_cast<Connection::Wait*>(data);
  const Clock::time_point now = Clock::now();
  if (!w.waiting || now - w.lastCall > Ms(2 * kAbortSliceMs)) {
    w.waiting = true;
    w.since = now - Ms(kAbortSliceMs);
  }
  w.lastCall = now;
  const bool aborted = w.Aborted();
  if (now - w.since < Ms(w.LimitMs(aborted))) return 1;
  if (aborted) w.cutByAbort = true;
  return 0;
}

}  // namespace

Connection::Connection() = default;
Connection::Connection(std::unique_ptr<Wait> wait, http_t* http) : wait_(std::move(wait)), http_(http) {}
Connection::~Connection() { reset(); }
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&& other) noexcept {
  if (this != &other) {
    reset();
    http_ = std::move(other.http_);
    wait_ = std::move(other.wait_);
  }
  return *this;
}
void Connection::reset() {
  http_.reset();
  wait_.reset();
}
bool Connection::CutByAbort() const { return wait_ && wait_->cutByAbort; }

Connection Connect(const AbortCheck& abort, WaitBounds bounds) {
  auto wait = std::make_unique<Connection::Wait>();
  wait->abort = abort;
  wait->bounds = bounds;
  ++connections;
  // The connect goes in slices so that an abort is seen between them; an
  // attempt that failed before its slice ran out (refused, no such host)
  // is not tried again.
  const Clock::time_point begin = Clock::now();
  const Clock::time_point end = begin + Ms(bounds.connectMs);
  for (;;) {
    const Clock::time_point at = Clock::now();
    const bool aborted = wait->Aborted();
    if (at >= end || (aborted && at - begin >= Ms(wait->LimitMs(true)))) {
      wait->cutByAbort = aborted;
      return Connection();
    }
    const long long left = std::chrono::duration_cast<Ms>(end - at).count();
    const int slice = static_cast<int>(std::min<long long>(left, kAbortSliceMs));
    if (http_t* h = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(),
                                 1, slice, nullptr)) {
      // Each read or write waits one slice at a time; KeepWaiting decides.
      httpSetTimeout(h, kAbortSliceMs / 1000.0, KeepWaiting, wait.get());
      return Connection(std::move(wait), h);
    }
    if (Clock::now() - at < Ms(slice)) return Connection();
  }
}

Connection ConnectForCleanup(const AbortCheck& abort) {
  WaitBounds bounds;
  bounds.afterAbortMs = kCleanupAfterAbortMs;
  return Connect(abort, bounds);
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
