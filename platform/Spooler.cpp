// The spooler on CUPS: queue names and data through IPP, raw jobs as
// Create-Job followed by one streamed Send-Document.

#include "platform/Spooler.h"

#include "platform/CupsIpp.h"
#include "platform/Text.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace platform {

namespace {

// IPP "name" values hold at most 255 octets; the server refuses longer ones.
constexpr std::size_t kMaxNameBytes = 255;

JobStatus StatusOfState(int state) {
  switch (state) {
    case IPP_JSTATE_PENDING: return JobStatus::Pending;
    case IPP_JSTATE_HELD: return JobStatus::Held;
    case IPP_JSTATE_PROCESSING: return JobStatus::Processing;
    case IPP_JSTATE_STOPPED: return JobStatus::Stopped;
    case IPP_JSTATE_CANCELED: return JobStatus::Canceled;
    case IPP_JSTATE_ABORTED: return JobStatus::Aborted;
    case IPP_JSTATE_COMPLETED: return JobStatus::Completed;
    default: return JobStatus::Unknown;
  }
}

void RequestAttributes(ipp_t* req, std::initializer_list<const char*> names) {
  std::vector<const char*> list(names);
  ippAddStrings(req, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(list.size()), nullptr, list.data());
}

cups::Ipp GetQueueAttributes(http_t* http, const std::string& name, bool isClass,
                             std::initializer_list<const char*> names) {
  cups::Ipp req = cups::NewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  const std::string uri = cups::QueueUri(name, isClass);
  ippAddString(req.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  RequestAttributes(req.get(), names);
  const std::string resource = cups::QueueResource(name, isClass);
  cups::Ipp resp = cups::Do(http, std::move(req), resource.c_str());
  return cups::Succeeded(resp.get()) ? std::move(resp) : nullptr;
}

// What a queue's data is made of, asked for one queue or for all at once.
const std::initializer_list<const char*> kDataAttributes = {
    "printer-name", "printer-make-and-model", "device-uri", "printer-location",
    "printer-info", "printer-type", "member-names"};

// The data of one queue; `deviceOf` gives a class member's device URI.
template <typename DeviceOf>
SpoolerPrinterData DataOf(const cups::PrinterAttributes& queue, const std::string& fallbackName,
                          DeviceOf deviceOf) {
  SpoolerPrinterData d;
  d.name = queue.name.empty() ? fallbackName : queue.name;
  d.driver = queue.makeAndModel;
  d.location = queue.location;
  d.comment = queue.info;
  d.local = (queue.type & CUPS_PRINTER_REMOTE) == 0;
  if (queue.type & CUPS_PRINTER_CLASS) {
    // A class has no device of its own; its members' devices are its ports.
    for (const std::string& member : queue.members) {
      const std::string uri = deviceOf(member);
      if (uri.empty()) continue;
      if (!d.ports.empty()) d.ports += ",";
      d.ports += uri;
    }
  } else {
    d.ports = queue.deviceUri;
  }
  return d;
}

std::string StringValueOf(ipp_attribute_t* a) {
  const char* v = ippGetString(a, 0, nullptr);
  return v ? std::string(v) : std::string();
}

// The failure of the request just made, in the server's own words: read
// at once, before any clean-up request replaces the thread's last error.
Error RequestFailure(ipp_t* response) {
  ipp_status_t status = cupsLastError();
  if (response && ippGetStatusCode(response) > IPP_STATUS_OK_EVENTS_COMPLETE)
    status = ippGetStatusCode(response);
  if (status <= IPP_STATUS_OK_EVENTS_COMPLETE) status = IPP_STATUS_ERROR_INTERNAL;
  return Error::Of(static_cast<int>(status), SpoolerLastError());
}

// The subscription a job creation answer carries: its id, 0 when the
// server ignored or refused it.
int SubscriptionIdOf(ipp_t* response) {
  for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
    const char* name = ippGetName(a);
    if (ippGetGroupTag(a) == IPP_TAG_SUBSCRIPTION && name &&
        std::string(name) == "notify-subscription-id" && ippGetValueTag(a) == IPP_TAG_INTEGER)
      return ippGetInteger(a, 0);
  }
  return 0;
}

// What the events of one answer tell of one job of one subscription.
struct EventsSeen {
  int lastSequence = 0;
  JobStatus state = JobStatus::Unknown;  // Unknown: no event told it
  std::string title;
};

EventsSeen ReadEvents(ipp_t* response, int subscriptionId, int jobId) {
  EventsSeen seen;
  struct Event {
    int subscription = 0, sequence = 0, job = 0, state = 0;
    std::string title;
  } e;
  const auto flush = [&] {
    if (e.subscription == subscriptionId && e.sequence > 0) {
      seen.lastSequence = std::max(seen.lastSequence, e.sequence);
      if ((e.job == 0 || e.job == jobId) && e.state > 0) {
        const JobStatus st = StatusOfState(e.state);
        // A later event never takes back an end already told.
        const bool ended = seen.state == JobStatus::Canceled ||
                           seen.state == JobStatus::Aborted || seen.state == JobStatus::Completed;
        if (st != JobStatus::Unknown && !ended) {
          seen.state = st;
          seen.title = e.title;
        }
      }
    }
    e = Event();
  };
  ipp_tag_t group = IPP_TAG_ZERO;
  for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
    const char* name = ippGetName(a);
    const ipp_tag_t g = ippGetGroupTag(a);
    if (!name || g != group) {
      if (group == IPP_TAG_EVENT_NOTIFICATION) flush();
      group = name ? g : IPP_TAG_ZERO;
      if (!name) continue;
    }
    if (g != IPP_TAG_EVENT_NOTIFICATION) continue;
    const std::string n(name);
    const ipp_tag_t tag = ippGetValueTag(a);
    const bool number = tag == IPP_TAG_INTEGER || tag == IPP_TAG_ENUM;
    if (n == "notify-subscription-id" && number) e.subscription = ippGetInteger(a, 0);
    else if (n == "notify-sequence-number" && number) e.sequence = ippGetInteger(a, 0);
    else if ((n == "notify-job-id" || n == "job-id") && number) e.job = ippGetInteger(a, 0);
    else if (n == "job-state" && number) e.state = ippGetInteger(a, 0);
    else if (n == "job-name") e.title = StringValueOf(a);
  }
  if (group == IPP_TAG_EVENT_NOTIFICATION) flush();
  return seen;
}

}  // namespace

bool ListPrinterData(std::vector<SpoolerPrinterData>& list) {
  cups::Connection http = cups::Connect();
  if (!http) return false;
  cups::Ipp req = cups::NewRequest(IPP_OP_CUPS_GET_PRINTERS);
  RequestAttributes(req.get(), kDataAttributes);
  cups::Ipp resp = cups::Do(http.get(), std::move(req), "/");
  // An empty server answers "not found", which is an empty list.
  if (cups::StatusOf(resp.get()) == IPP_STATUS_ERROR_NOT_FOUND) {
    list.clear();
    return true;
  }
  if (!cups::Succeeded(resp.get())) return false;
  const std::vector<cups::PrinterAttributes> queues = cups::PrinterGroups(resp.get());
  std::vector<SpoolerPrinterData> out;
  out.reserve(queues.size());
  for (const cups::PrinterAttributes& queue : queues) {
    if (queue.name.empty()) continue;
    out.push_back(DataOf(queue, queue.name, [&](const std::string& member) {
      // Members are queues of the same server, so the same answer lists them.
      for (const cups::PrinterAttributes& other : queues)
        if (SameTextNoCase(other.name, member)) return other.deviceUri;
      return std::string();
    }));
  }
  list = std::move(out);
  return true;
}

SpoolerTraffic SpoolerTrafficSoFar() {
  SpoolerTraffic t;
  t.requests = cups::RequestCount();
  t.connections = cups::ConnectionCount();
  return t;
}

std::vector<std::string> EnumPrinterNames() {
  std::vector<std::string> names;
  cups::Connection http = cups::Connect();
  if (!http) return names;
  cups::Ipp req = cups::NewRequest(IPP_OP_CUPS_GET_PRINTERS);
  RequestAttributes(req.get(), {"printer-name"});
  cups::Ipp resp = cups::Do(http.get(), std::move(req), "/");
  if (!cups::Succeeded(resp.get())) return names;
  // One printer-name per printer group, in the server's order.
  for (ipp_attribute_t* a = ippFirstAttribute(resp.get()); a;
       a = ippNextAttribute(resp.get())) {
    const char* attrName = ippGetName(a);
    if (ippGetGroupTag(a) == IPP_TAG_PRINTER && attrName &&
        std::string(attrName) == "printer-name") {
      const char* s = ippGetString(a, 0, nullptr);
      if (s && *s) names.emplace_back(s);
    }
  }
  return names;
}

struct PrinterHandle::Impl {
  cups::AbortCheck abort;
  std::string name;
  bool isClass = false;
  cups::Connection control;   // queue data, job creation, job queries, events
  cups::Connection document;  // the raw document while it streams
  cups::Connection cleanup;   // the clean-up once the abort has been asked for
  bool cleanupHung = false;  // a clean-up request went unanswered
  std::string resource;
  int jobId = 0;
  bool jobOpen = false;  // started and neither ended nor aborted
  int subscriptionId = 0;   // the job's events, 0: none
  bool eventsWatched = false;
  int nextSequence = 1;     // the first event not seen yet

  ~Impl() { DropSubscription(); }

  http_t* Control() {
    // The server may have closed an idle connection; CUPS reconnects on
    // its own, but a connection that never came up is made afresh.
    if (!control) control = cups::Connect(abort);
    return control.get();
  }
  bool Aborted() const { return abort && abort(); }
  // The connection of a clean-up request (a cancel): once the abort has
  // been asked for, one of its own, bounded by a second, and none at all
  // after a server left one of them unanswered.
  http_t* Cleanup() {
    if (!Aborted()) return Control();
    if (cleanupHung) return nullptr;
    if (!cleanup) cleanup = cups::ConnectForCleanup(abort);
    if (!cleanup) cleanupHung = true;
    return cleanup.get();
  }
  cups::Ipp DoCleanup(cups::Ipp request, const char* resource) {
    const bool aborted = Aborted();
    cups::Ipp resp = cups::Do(Cleanup(), std::move(request), resource);
    if (!resp && aborted) cleanupHung = true;
    return resp;
  }
  // Ends the subscription to the job's events: a server keeps one of a
  // job that never ends.
  void DropSubscription() {
    eventsWatched = false;
    if (subscriptionId <= 0) return;
    const int id = subscriptionId;
    subscriptionId = 0;
    cups::Ipp req = cups::NewRequest(IPP_OP_CANCEL_SUBSCRIPTION);
    const std::string uri = cups::QueueUri(name, isClass);
    ippAddString(req.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddInteger(req.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-id", id);
    // A job that has ended took its subscription with it: "not found".
    DoCleanup(std::move(req), "/");
  }
};

PrinterHandle::PrinterHandle() = default;

PrinterHandle::~PrinterHandle() { Close(); }

PrinterHandle::PrinterHandle(PrinterHandle&&) noexcept = default;

PrinterHandle& PrinterHandle::operator=(PrinterHandle&& other) noexcept {
  if (this != &other) {
    Close();
    impl_ = std::move(other.impl_);
    lastError_ = std::move(other.lastError_);
    abort_ = std::move(other.abort_);
  }
  return *this;
}

void PrinterHandle::SetAbort(SpoolerAbort abort) {
  abort_ = std::move(abort);
  if (impl_) impl_->abort = abort_;
}

bool PrinterHandle::Open(const std::string& name) {
  Close();
  lastError_ = Error::Ok();
  if (name.empty()) {
    lastError_ = Error::Of(static_cast<int>(IPP_STATUS_ERROR_BAD_REQUEST), "no queue named");
    return false;
  }
  auto impl = std::make_unique<Impl>();
  impl->abort = abort_;
  impl->name = name;
  cups::Ipp resp = GetQueueAttributes(impl->Control(), name, false,
                                      {"printer-name", "printer-type"});
  if (!resp) {
    lastError_ = RequestFailure(nullptr);
    return false;
  }
  impl->isClass = (cups::Integer(resp.get(), "printer-type", 0) & CUPS_PRINTER_CLASS) != 0;
  impl->resource = cups::QueueResource(name, impl->isClass);
  impl_ = std::move(impl);
  return true;
}

bool PrinterHandle::IsOpen() const { return impl_ != nullptr; }

void PrinterHandle::Close() {
  if (!impl_) return;
  if (impl_->jobOpen) Abort();
  impl_.reset();
}

const std::string& PrinterHandle::Name() const {
  static const std::string kNone;
  return impl_ ? impl_->name : kNone;
}

bool PrinterHandle::GetData(SpoolerPrinterData& data) {
  if (!impl_) return false;
  http_t* http = impl_->Control();
  cups::Ipp resp = GetQueueAttributes(http, impl_->name, impl_->isClass, kDataAttributes);
  if (!resp) return false;
  const std::vector<cups::PrinterAttributes> groups = cups::PrinterGroups(resp.get());
  if (groups.empty()) return false;
  const cups::PrinterAttributes& queue = groups.front();
  data = DataOf(queue, impl_->name, [&](const std::string& member) {
    cups::Ipp m = GetQueueAttributes(http, member, false, {"device-uri"});
    return cups::Text(m.get(), "device-uri");
  });
  return true;
}

int PrinterHandle::StartRawDoc(const std::string& title, bool ahead) {
  if (!impl_ || impl_->jobOpen) {
    lastError_ = Error::Of(static_cast<int>(IPP_STATUS_ERROR_NOT_POSSIBLE),
                           impl_ ? "a job is being sent already" : "no queue is open");
    return 0;
  }
  const std::string uri = cups::QueueUri(impl_->name, impl_->isClass);
  const std::string jobName = std::string(Utf8Cut(title, kMaxNameBytes));

  cups::Ipp create = cups::NewRequest(IPP_OP_CREATE_JOB);
  ippAddString(create.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  if (!jobName.empty())
    ippAddString(create.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr,
                 jobName.c_str());
  if (ahead) {
    // An explicit "no-hold" is not replaced by the queue's default, and the
    // highest priority starts the job before every one waiting.
    ippAddString(create.get(), IPP_TAG_JOB, IPP_TAG_KEYWORD, "job-hold-until", nullptr,
                 "no-hold");
    ippAddInteger(create.get(), IPP_TAG_JOB, IPP_TAG_INTEGER, "job-priority", 100);
  }
  // The job's end is told by the server's own events, asked for with the
  // job itself (no request more); a server that does not keep them
  // answers "ignored subscriptions" and the job is polled.
  ippAddString(create.get(), IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-pull-method", nullptr,
               "ippget");
  static const char* const kEvents[] = {"job-state-changed", "job-completed"};
  ippAddStrings(create.get(), IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-events", 2, nullptr,
                kEvents);
  impl_->DropSubscription();
  cups::Ipp created = cups::Do(impl_->Control(), std::move(create), impl_->resource.c_str());
  const int jobId = cups::Integer(created.get(), "job-id", 0);
  if (!cups::Succeeded(created.get()) || jobId <= 0) {
    lastError_ = RequestFailure(created.get());
    return 0;
  }
  impl_->jobId = jobId;
  impl_->jobOpen = true;
  impl_->subscriptionId = SubscriptionIdOf(created.get());
  impl_->eventsWatched = impl_->subscriptionId > 0;
  impl_->nextSequence = 1;

  // The document streams on its own connection so that the job can be
  // asked about or cancelled while it is being sent.
  impl_->document = cups::Connect(impl_->abort);
  if (impl_->document) {
    cups::Ipp send = cups::NewRequest(IPP_OP_SEND_DOCUMENT);
    ippAddString(send.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddInteger(send.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
    if (!jobName.empty())
      ippAddString(send.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "document-name", nullptr,
                   jobName.c_str());
    ippAddString(send.get(), IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                 CUPS_FORMAT_RAW);
    ippAddBoolean(send.get(), IPP_TAG_OPERATION, "last-document", 1);
    cups::CountRequest();
    const http_status_t st = cupsSendRequest(impl_->document.get(), send.get(),
                                             impl_->resource.c_str(), CUPS_LENGTH_VARIABLE);
    if (st == HTTP_STATUS_CONTINUE) return jobId;
  }
  // No document could be started: leave no empty job behind, and tell
  // why it could not, not how the cancel went.
  const Error why = RequestFailure(nullptr);
  Abort();
  lastError_ = why;
  return 0;
}

bool PrinterHandle::WriteBlock(const void* data, std::size_t size) {
  if (!impl_ || !impl_->jobOpen || !impl_->document) {
    lastError_ = Error::Of(static_cast<int>(IPP_STATUS_ERROR_NOT_POSSIBLE), "no job is being sent");
    return false;
  }
  if (size == 0) return true;
  if (cupsWriteRequestData(impl_->document.get(), static_cast<const char*>(data), size) ==
      HTTP_STATUS_CONTINUE)
    return true;
  lastError_ = RequestFailure(nullptr);
  return false;
}

bool PrinterHandle::EndDoc() {
  if (!impl_ || !impl_->jobOpen || !impl_->document) {
    lastError_ = Error::Of(static_cast<int>(IPP_STATUS_ERROR_NOT_POSSIBLE), "no job is being sent");
    return false;
  }
  cups::Ipp resp(cupsGetResponse(impl_->document.get(), impl_->resource.c_str()));
  impl_->document.reset();
  if (!cups::Succeeded(resp.get())) {
    // The server did not take the document: the job must not linger. The
    // cause is the document's answer, taken before the cancel asks again.
    const Error why = RequestFailure(resp.get());
    Abort();
    lastError_ = why;
    return false;
  }
  impl_->jobOpen = false;
  return true;
}

bool PrinterHandle::Abort() {
  if (!impl_ || impl_->jobId <= 0) return false;
  // Dropping the connection discards the rest of the document.
  impl_->document.reset();
  impl_->jobOpen = false;
  const bool cancelled = CancelJob(impl_->jobId);
  impl_->DropSubscription();
  return cancelled;
}

int PrinterHandle::CurrentJobId() const { return impl_ ? impl_->jobId : 0; }

const Error& PrinterHandle::LastError() const { return lastError_; }

JobState PrinterHandle::QueryJob(int jobId) {
  JobState state;
  if (!impl_) return state;
  if (jobId <= 0) {
    state.status = JobStatus::Unknown;
    return state;
  }
  cups::Ipp req = cups::NewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  const std::string uri = cups::JobUri(jobId);
  ippAddString(req.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
  RequestAttributes(req.get(), {"job-id", "job-state", "job-k-octets-processed", "job-name"});
  cups::Ipp resp = cups::Do(impl_->Control(), std::move(req), "/");
  if (!resp) return state;
  if (cups::StatusOf(resp.get()) == IPP_STATUS_ERROR_NOT_FOUND) {
    state.status = JobStatus::Unknown;
    return state;
  }
  if (!cups::Succeeded(resp.get())) return state;
  if (cups::Integer(resp.get(), "job-id", jobId) != jobId) {
    state.status = JobStatus::Unknown;
    return state;
  }
  state.status = StatusOfState(cups::Integer(resp.get(), "job-state", 0));
  if (state.status == JobStatus::Unknown) state.status = JobStatus::NoAnswer;
  const int k = cups::Integer(resp.get(), "job-k-octets-processed", -1);
  state.kOctetsProcessed = k;
  state.title = cups::Text(resp.get(), "job-name");
  return state;
}

bool PrinterHandle::CancelJob(int jobId) {
  if (!impl_ || jobId <= 0) return false;
  cups::Ipp req = cups::NewRequest(IPP_OP_CANCEL_JOB);
  const std::string uri = cups::JobUri(jobId);
  ippAddString(req.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
  cups::Ipp resp = impl_->DoCleanup(std::move(req), "/jobs/");
  if (cups::Succeeded(resp.get())) return true;
  // A job that has already ended cannot be cancelled any more.
  return resp && QueryJob(jobId).Finished();
}

bool PrinterHandle::WatchesJobEvents() const { return impl_ && impl_->eventsWatched; }

JobEvent PrinterHandle::NextJobEvent(JobState& state) {
  if (!impl_ || !impl_->eventsWatched) return JobEvent::NotWatched;
  cups::Ipp req = cups::NewRequest(IPP_OP_GET_NOTIFICATIONS);
  const std::string uri = cups::QueueUri(impl_->name, impl_->isClass);
  ippAddString(req.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  ippAddInteger(req.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-ids",
                impl_->subscriptionId);
  ippAddInteger(req.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-sequence-numbers",
                impl_->nextSequence);
  ippAddBoolean(req.get(), IPP_TAG_OPERATION, "notify-wait", 1);
  cups::Ipp resp = cups::Do(impl_->Control(), std::move(req), "/");
  if (!resp) {
    // A request cut short leaves its connection in the middle of an
    // answer: the next one starts afresh. A server that left the ask
    // unanswered is not made to leave the cancel of the subscription
    // unanswered too; one that held it until the abort is asked.
    if (!impl_->control.CutByAbort()) impl_->subscriptionId = 0;
    impl_->control.reset();
    impl_->eventsWatched = false;
    return JobEvent::NoAnswer;
  }
  const ipp_status_t status = cups::StatusOf(resp.get());
  if (status > IPP_STATUS_OK_EVENTS_COMPLETE) {
    // Unsupported, or the subscription has gone: a server may end it
    // with its job, before the job's last event is asked for.
    impl_->eventsWatched = false;
    if (status == IPP_STATUS_ERROR_NOT_FOUND) impl_->subscriptionId = 0;  // nothing to cancel
    return JobEvent::NotWatched;
  }
  const EventsSeen seen = ReadEvents(resp.get(), impl_->subscriptionId, impl_->jobId);
  if (seen.lastSequence >= impl_->nextSequence) impl_->nextSequence = seen.lastSequence + 1;
  // No more events will come: the last ones still count.
  if (status == IPP_STATUS_OK_EVENTS_COMPLETE) impl_->eventsWatched = false;
  if (seen.state != JobStatus::Unknown) {
    state = JobState();
    state.status = seen.state;
    state.title = seen.title;
    return JobEvent::Changed;
  }
  return impl_->eventsWatched ? JobEvent::None : JobEvent::NotWatched;
}

namespace {

std::string StringOf(ipp_attribute_t* a) {
  const char* v = ippGetString(a, 0, nullptr);
  return v ? std::string(v) : std::string();
}

struct QueueJob {
  int id = 0;
  int state = 0;
  std::string name;
  std::string holdUntil;
};

// The queue's jobs that have not ended, in the server's order; false when
// the server could not be asked.
bool ListQueueJobs(http_t* http, const std::string& queue, bool isClass,
                   std::vector<QueueJob>& jobs) {
  jobs.clear();
  cups::Ipp req = cups::NewRequest(IPP_OP_GET_JOBS);
  const std::string uri = cups::QueueUri(queue, isClass);
  ippAddString(req.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  ippAddString(req.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr,
               "not-completed");
  RequestAttributes(req.get(), {"job-id", "job-state", "job-name", "job-hold-until"});
  cups::Ipp resp = cups::Do(http, std::move(req), "/");
  // No job at all is answered "not found" by some servers.
  if (cups::StatusOf(resp.get()) == IPP_STATUS_ERROR_NOT_FOUND) return true;
  if (!cups::Succeeded(resp.get())) return false;
  QueueJob job;
  const auto flush = [&] {
    if (job.id > 0) jobs.push_back(job);
    job = QueueJob();
  };
  for (ipp_attribute_t* a = ippFirstAttribute(resp.get()); a; a = ippNextAttribute(resp.get())) {
    const char* name = ippGetName(a);
    if (!name) {
      flush();
      continue;
    }
    if (ippGetGroupTag(a) != IPP_TAG_JOB) continue;
    const std::string n(name);
    if (n == "job-id") job.id = ippGetInteger(a, 0);
    else if (n == "job-state") job.state = ippGetInteger(a, 0);
    else if (n == "job-name") job.name = StringOf(a);
    else if (n == "job-hold-until") job.holdUntil = StringOf(a);
  }
  flush();
  return true;
}

// A job operation (Hold-Job, Release-Job) on one job.
bool JobOperation(http_t* http, ipp_op_t op, int jobId) {
  cups::Ipp req = cups::NewRequest(op);
  const std::string uri = cups::JobUri(jobId);
  ippAddString(req.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
  if (op == IPP_OP_HOLD_JOB)
    ippAddString(req.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "job-hold-until", nullptr,
                 "indefinite");
  cups::Ipp resp = cups::Do(http, std::move(req), "/jobs/");
  return cups::Succeeded(resp.get());
}

// How a request of the hold went: a server that does not answer is not
// asked again (each request waits out its bound).
enum class Step { Done, Refused, NoAnswer };

Step StepOf(const cups::Ipp& resp) {
  if (!resp) return Step::NoAnswer;
  return cups::Succeeded(resp.get()) ? Step::Done : Step::Refused;
}

// A printer operation without arguments (Hold-New-Jobs, Release-Held-New-Jobs).
Step QueueOperation(http_t* http, ipp_op_t op, const std::string& queue, bool isClass) {
  cups::Ipp req = cups::NewRequest(op);
  const std::string uri = cups::QueueUri(queue, isClass);
  ippAddString(req.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  return StepOf(cups::Do(http, std::move(req), "/admin/"));
}

// Sets the queue's job-hold-until default (when not empty) and its state
// message.
Step ModifyQueue(http_t* http, const std::string& queue, bool isClass,
                 const std::string& holdDefault, const std::string& message) {
  cups::Ipp req =
      cups::NewRequest(isClass ? IPP_OP_CUPS_ADD_MODIFY_CLASS : IPP_OP_CUPS_ADD_MODIFY_PRINTER);
  const std::string uri = cups::QueueUri(queue, isClass);
  ippAddString(req.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  // The server takes the state message from the operation group only.
  ippAddString(req.get(), IPP_TAG_OPERATION, IPP_TAG_TEXT, "printer-state-message", nullptr,
               message.c_str());
  if (!holdDefault.empty())
    ippAddString(req.get(), IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "job-hold-until-default", nullptr,
                 holdDefault.c_str());
  return StepOf(cups::Do(http, std::move(req), "/admin/"));
}

bool IsClassQueue(http_t* http, const std::string& queue) {
  cups::Ipp resp = GetQueueAttributes(http, queue, false, {"printer-type"});
  return (cups::Integer(resp.get(), "printer-type", 0) & CUPS_PRINTER_CLASS) != 0;
}

}  // namespace

const char kFirmwareUpdateMessage[] = "firmware update in progress";

QueueHoldState QueryHoldState(const std::string& queue, const SpoolerAbort& abort) {
  QueueHoldState st;
  cups::Connection http = cups::Connect(abort);
  if (!http) return st;
  cups::Ipp resp = GetQueueAttributes(
      http.get(), queue, false,
      {"printer-state", "printer-state-reasons", "job-hold-until-default",
       "printer-is-accepting-jobs", "printer-state-message"});
  if (!resp) return st;
  st.known = true;
  if (ipp_attribute_t* a = ippFindAttribute(resp.get(), "printer-state-reasons", IPP_TAG_ZERO)) {
    for (int i = 0; i < ippGetCount(a); ++i) {
      const char* r = ippGetString(a, i, nullptr);
      if (r && std::string(r) == "hold-new-jobs") st.holdingNewJobs = true;
    }
  }
  st.holdByDefault = cups::Text(resp.get(), "job-hold-until-default") == "indefinite";
  if (ipp_attribute_t* a = ippFindAttribute(resp.get(), "printer-is-accepting-jobs",
                                            IPP_TAG_BOOLEAN))
    st.accepting = ippGetBoolean(a, 0) != 0;
  st.message = cups::Text(resp.get(), "printer-state-message");
  st.stopped = cups::Integer(resp.get(), "printer-state", 0) == IPP_PSTATE_STOPPED;
  return st;
}

bool ReleaseStaleHold(const std::string& queue, const SpoolerAbort& abort) {
  const cups::NoPasswordPrompt noPrompt;
  const QueueHoldState st = QueryHoldState(queue, abort);
  // Both marks together are this program's: neither the server nor an
  // operator's cupsdisable --hold sets the "indefinite" default.
  if (!st.holdingNewJobs || !st.holdByDefault) return false;
  cups::Connection http = cups::Connect(abort);
  if (!http) return false;
  const bool isClass = IsClassQueue(http.get(), queue);
  const std::string message = st.message == kFirmwareUpdateMessage ? std::string() : st.message;
  if (ModifyQueue(http.get(), queue, isClass, "no-hold", message) == Step::NoAnswer) return false;
  if (st.stopped && st.message == kFirmwareUpdateMessage)
    QueueOperation(http.get(), IPP_OP_RESUME_PRINTER, queue, isClass);
  return QueueOperation(http.get(), IPP_OP_RELEASE_HELD_NEW_JOBS, queue, isClass) == Step::Done;
}

QueueHold::~QueueHold() { Release(); }

bool QueueHold::Begin(const std::string& queue, const std::string& message) {
  Release();
  const cups::NoPasswordPrompt noPrompt;
  lastError_ = Error::Ok();
  held_.clear();
  queue_ = queue;
  message_ = message;
  cups::Connection http = cups::Connect(abort_);
  if (!http) {
    lastError_ = RequestFailure(nullptr);
    return false;
  }
  cups::Ipp attrs = GetQueueAttributes(http.get(), queue, false,
                                       {"printer-type", "job-hold-until-default"});
  if (!attrs) {
    lastError_ = RequestFailure(nullptr);
    return false;
  }
  const bool isClass = (cups::Integer(attrs.get(), "printer-type", 0) & CUPS_PRINTER_CLASS) != 0;
  isClass_ = isClass;
  savedDefault_ = cups::Text(attrs.get(), "job-hold-until-default");
  // A default left by a hold that was never released is not worth keeping.
  if (savedDefault_.empty() || savedDefault_ == "indefinite") savedDefault_ = "no-hold";
  // Listed before the default changes: every job with a higher id came
  // after it, so the release can tell them from jobs held by their owners.
  std::vector<QueueJob> jobs;
  if (!ListQueueJobs(http.get(), queue, isClass, jobs)) {
    lastError_ = RequestFailure(nullptr);
    return false;
  }
  lastJobBefore_ = 0;
  for (const QueueJob& j : jobs) lastJobBefore_ = std::max(lastJobBefore_, j.id);
  if (ModifyQueue(http.get(), queue, isClass, "indefinite", message) != Step::Done) {
    lastError_ = RequestFailure(nullptr);
    return false;
  }
  active_ = true;
  if (QueueOperation(http.get(), IPP_OP_HOLD_NEW_JOBS, queue, isClass) != Step::Done) {
    const Error why = RequestFailure(nullptr);
    Release();
    lastError_ = why;
    return false;
  }
  // The jobs waiting now: held at once, and a refusal ends the hold (the
  // caller may not hold others' jobs).
  for (const QueueJob& j : jobs) {
    if (j.state != IPP_JSTATE_PENDING) continue;
    if (!JobOperation(http.get(), IPP_OP_HOLD_JOB, j.id)) {
      const Error why = RequestFailure(nullptr);
      Release();
      lastError_ = why;
      return false;
    }
    held_.push_back(j.id);
  }
  return true;
}

int QueueHold::HoldOthers(int ownJob, std::string* printingTitle) {
  if (!active_) return 0;
  const cups::NoPasswordPrompt noPrompt;
  cups::Connection http = cups::Connect(abort_);
  if (!http) return -1;
  std::vector<QueueJob> jobs;
  if (!ListQueueJobs(http.get(), queue_, isClass_, jobs)) return -1;
  int printing = 0;
  for (const QueueJob& j : jobs) {
    if (j.id == ownJob) continue;
    if (j.state == IPP_JSTATE_PENDING) {
      if (JobOperation(http.get(), IPP_OP_HOLD_JOB, j.id)) held_.push_back(j.id);
      else lastError_ = RequestFailure(nullptr);
    } else if (j.state == IPP_JSTATE_PROCESSING && printing == 0) {
      printing = j.id;
      if (printingTitle) *printingTitle = j.name;
    }
  }
  return printing;
}

void QueueHold::ShowMessage() {
  if (!active_) return;
  const cups::NoPasswordPrompt noPrompt;
  cups::Connection http = cups::Connect(abort_);
  if (!http) return;
  ModifyQueue(http.get(), queue_, isClass_, std::string(), message_);
}

bool QueueHold::StopPrinter() {
  if (!active_) return false;
  const cups::NoPasswordPrompt noPrompt;
  cups::Connection http = cups::Connect(abort_);
  if (!http) return false;
  // A printer someone else stopped is theirs to start again.
  cups::Ipp state = GetQueueAttributes(http.get(), queue_, isClass_, {"printer-state"});
  if (!state) return false;
  if (cups::Integer(state.get(), "printer-state", 0) == IPP_PSTATE_STOPPED) return true;
  cups::Ipp req = cups::NewRequest(IPP_OP_PAUSE_PRINTER);
  const std::string uri = cups::QueueUri(queue_, isClass_);
  ippAddString(req.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  ippAddString(req.get(), IPP_TAG_OPERATION, IPP_TAG_TEXT, "printer-state-message", nullptr,
               message_.c_str());
  if (StepOf(cups::Do(http.get(), std::move(req), "/admin/")) != Step::Done) {
    lastError_ = RequestFailure(nullptr);
    return false;
  }
  stopped_ = true;
  return true;
}

bool QueueHold::Release() {
  if (!active_) return true;
  active_ = false;
  const cups::NoPasswordPrompt noPrompt;
  cups::Connection http = cups::ConnectForCleanup(abort_);
  if (!http) {
    lastError_ = RequestFailure(nullptr);
    return false;
  }
  const bool isClass = isClass_;
  bool ok = true;
  // The default goes back first, so no job is held after the listing below.
  // A server that stopped answering keeps the marks; the next run clears
  // them (ReleaseStaleHold).
  Step step = ModifyQueue(http.get(), queue_, isClass, savedDefault_, std::string());
  if (step == Step::Done)
    step = QueueOperation(http.get(), IPP_OP_RELEASE_HELD_NEW_JOBS, queue_, isClass);
  else if (step == Step::Refused)
    QueueOperation(http.get(), IPP_OP_RELEASE_HELD_NEW_JOBS, queue_, isClass);
  if (step != Step::Done) {
    lastError_ = RequestFailure(nullptr);
    ok = false;
    if (step == Step::NoAnswer) return false;
  }
  if (stopped_) {
    // Only the printer this hold stopped goes on; the message went above.
    stopped_ = false;
    if (QueueOperation(http.get(), IPP_OP_RESUME_PRINTER, queue_, isClass) != Step::Done) {
      lastError_ = RequestFailure(nullptr);
      ok = false;
    }
  }
  std::vector<QueueJob> jobs;
  if (!ListQueueJobs(http.get(), queue_, isClass, jobs)) {
    lastError_ = RequestFailure(nullptr);
    return false;
  }
  for (const QueueJob& j : jobs) {
    if (j.state != IPP_JSTATE_HELD) continue;
    const bool ours = std::find(held_.begin(), held_.end(), j.id) != held_.end();
    const bool heldOnArrival = j.id > lastJobBefore_ && j.holdUntil == "indefinite";
    if (!ours && !heldOnArrival) continue;
    if (!JobOperation(http.get(), IPP_OP_RELEASE_JOB, j.id)) {
      lastError_ = RequestFailure(nullptr);
      ok = false;
    }
  }
  return ok;
}

std::string SpoolerLastError() {
  const char* text = cupsLastErrorString();
  return text && *text ? std::string(text) : std::string("the print server gave no reason");
}

}  // namespace platform
