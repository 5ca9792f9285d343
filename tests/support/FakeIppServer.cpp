#include "tests/support/FakeIppServer.h"

#include <cups/ipp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "tests/support/TestEnv.h"

namespace quillon_test {
namespace {

// Reads up to and including the blank line that ends the headers.
bool ReadHeaders(int fd, std::string& head, std::string& rest) {
  std::string buf = rest;
  rest.clear();
  for (;;) {
    const std::size_t end = buf.find("\r\n\r\n");
    if (end != std::string::npos) {
      head = buf.substr(0, end + 4);
      rest = buf.substr(end + 4);
      return true;
    }
    char chunk[4096];
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n <= 0) return false;
    buf.append(chunk, static_cast<std::size_t>(n));
  }
}

bool Fill(int fd, std::string& buf, std::size_t want) {
  while (buf.size() < want) {
    char chunk[65536];
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n <= 0) return false;
    buf.append(chunk, static_cast<std::size_t>(n));
  }
  return true;
}

std::string HeaderValue(const std::string& head, const std::string& name) {
  std::string lower = head;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::size_t at = lower.find("\r\n" + name + ":");
  if (at == std::string::npos) return {};
  std::size_t from = at + 3 + name.size();
  const std::size_t to = lower.find("\r\n", from);
  while (from < to && head[from] == ' ') ++from;
  return lower.substr(from, to - from);
}

// The body of one request, chunked or of a given length; false when the
// peer went away.
bool ReadBody(int fd, const std::string& head, std::string& rest, std::string& body) {
  if (HeaderValue(head, "transfer-encoding") == "chunked") {
    for (;;) {
      std::size_t eol;
      while ((eol = rest.find("\r\n")) == std::string::npos)
        if (!Fill(fd, rest, rest.size() + 1)) return false;
      const std::size_t size = std::stoul(rest.substr(0, eol), nullptr, 16);
      if (!Fill(fd, rest, eol + 2 + size + 2)) return false;
      body.append(rest, eol + 2, size);
      rest.erase(0, eol + 2 + size + 2);
      if (size == 0) return true;
    }
  }
  const std::string length = HeaderValue(head, "content-length");
  const std::size_t size = length.empty() ? 0 : std::stoul(length);
  if (!Fill(fd, rest, size)) return false;
  body = rest.substr(0, size);
  rest.erase(0, size);
  return true;
}

struct Reader {
  const std::string* data;
  std::size_t at = 0;
};

ssize_t ReadIpp(void* context, ipp_uchar_t* buffer, size_t bytes) {
  auto* r = static_cast<Reader*>(context);
  const std::size_t n = std::min(bytes, r->data->size() - r->at);
  std::memcpy(buffer, r->data->data() + r->at, n);
  r->at += n;
  return static_cast<ssize_t>(n);
}

ssize_t WriteIpp(void* context, ipp_uchar_t* buffer, size_t bytes) {
  static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(buffer), bytes);
  return static_cast<ssize_t>(bytes);
}

bool WriteAllTo(int fd, const std::string& s) {
  std::size_t sent = 0;
  while (sent < s.size()) {
    const ssize_t n = ::write(fd, s.data() + sent, s.size() - sent);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

FakeIppServer::FakeIppServer() {
  dir_ = MakeTestDir("ipp");
  path_ = dir_ + "/ipp.sock";
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path_.size() >= sizeof addr.sun_path || ::pipe(stopFd_) != 0) return;
  std::memcpy(addr.sun_path, path_.c_str(), path_.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 8) != 0) {
    ::close(fd);
    return;
  }
  listenFd_ = fd;
  thread_ = std::thread([this] { Serve(); });
}

FakeIppServer::~FakeIppServer() {
  if (stopFd_[1] >= 0) (void)!::write(stopFd_[1], "x", 1);
  if (thread_.joinable()) thread_.join();
  for (int fd : {listenFd_, stopFd_[0], stopFd_[1]})
    if (fd >= 0) ::close(fd);
  for (int fd : clients_) ::close(fd);
}

void FakeIppServer::SetReply(int op, Reply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  answers_[op] = std::move(reply);
}

void FakeIppServer::RefuseStreamedRequests(int httpStatus) {
  std::lock_guard<std::mutex> lock(mutex_);
  refuseStreamed_ = httpStatus;
}

void FakeIppServer::HoldAnswersTo(int op) {
  std::lock_guard<std::mutex> lock(mutex_);
  held_.push_back(op);
}

void FakeIppServer::StallStreamedRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  stallStreamed_ = true;
}

void FakeIppServer::OfferSubscriptions(std::vector<int> jobStates) {
  std::lock_guard<std::mutex> lock(mutex_);
  subscriptions_ = true;
  eventStates_ = std::move(jobStates);
}

void FakeIppServer::WaitForStop() const {
  pollfd p{stopFd_[0], POLLIN, 0};
  while (::poll(&p, 1, -1) < 0) {
  }
}

std::vector<int> FakeIppServer::Operations() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return operations_;
}

void FakeIppServer::Serve() {
  // One client connection at a time is not enough: the spooler layer keeps
  // a control and a document connection open at once.
  std::vector<std::thread> talks;
  for (;;) {
    pollfd p[2] = {{listenFd_, POLLIN, 0}, {stopFd_[0], POLLIN, 0}};
    if (::poll(p, 2, -1) < 0) continue;
    if (p[1].revents) break;
    if (!(p[0].revents & POLLIN)) continue;
    const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      clients_.push_back(client);
    }
    talks.emplace_back([this, client] { Talk(client); });
  }
  // Clients still connected are cut off, so their threads end here.
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int fd : clients_) ::shutdown(fd, SHUT_RDWR);
  }
  for (std::thread& t : talks) t.join();
}

void FakeIppServer::Talk(int fd) {
  std::string rest;
  for (;;) {
    std::string head, body;
    if (!ReadHeaders(fd, head, rest)) break;
    int refuse = 0;
    bool stall = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (HeaderValue(head, "transfer-encoding") == "chunked") {
        refuse = refuseStreamed_;
        stall = stallStreamed_;
      }
    }
    if (stall) {
      if (HeaderValue(head, "expect") == "100-continue") WriteAllTo(fd, "HTTP/1.1 100 Continue\r\n\r\n");
      WaitForStop();
      break;
    }
    if (refuse) {
      // Answered before the body, as a server refusing it outright does.
      WriteAllTo(fd, "HTTP/1.1 " + std::to_string(refuse) +
                         " Refused\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
      break;
    }
    if (HeaderValue(head, "expect") == "100-continue" &&
        !WriteAllTo(fd, "HTTP/1.1 100 Continue\r\n\r\n"))
      break;
    if (!ReadBody(fd, head, rest, body)) break;
    ipp_t* request = ippNew();
    Reader reader{&body};
    ippReadIO(&reader, ReadIpp, 1, nullptr, request);
    const int op = ippGetOperation(request);
    const int id = ippGetRequestId(request);
    ippDelete(request);
    Reply answer;
    bool hold = false, subscriptions = false;
    std::vector<int> events;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      operations_.push_back(op);
      const auto it = answers_.find(op);
      if (it != answers_.end()) answer = it->second;
      for (const int h : held_) hold = hold || h == op || h == kEveryOperation;
      subscriptions = subscriptions_;
      events = eventStates_;
    }
    if (hold) {
      WaitForStop();
      break;
    }
    ipp_t* response = ippNew();
    ippSetVersion(response, 2, 0);
    ippSetStatusCode(response, static_cast<ipp_status_t>(answer.status));
    ippSetRequestId(response, id);
    ippAddString(response, IPP_TAG_OPERATION, IPP_TAG_CHARSET, "attributes-charset", nullptr, "utf-8");
    ippAddString(response, IPP_TAG_OPERATION, IPP_TAG_LANGUAGE, "attributes-natural-language",
                 nullptr, "en");
    if (!answer.message.empty())
      ippAddString(response, IPP_TAG_OPERATION, IPP_TAG_TEXT, "status-message", nullptr,
                   answer.message.c_str());
    if (answer.status == 0) {
      ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name", nullptr, "fake");
      ippAddInteger(response, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-type", 0);
      ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_INTEGER, "job-id", 7);
      ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_ENUM, "job-state", IPP_JSTATE_CANCELED);
      if (subscriptions && op == IPP_OP_CREATE_JOB)
        ippAddInteger(response, IPP_TAG_SUBSCRIPTION, IPP_TAG_INTEGER, "notify-subscription-id", 3);
      if (subscriptions && op == IPP_OP_GET_NOTIFICATIONS) {
        int sequence = 0;
        for (const int state : events) {
          ippAddSeparator(response);
          ippAddInteger(response, IPP_TAG_EVENT_NOTIFICATION, IPP_TAG_INTEGER,
                        "notify-subscription-id", 3);
          ippAddInteger(response, IPP_TAG_EVENT_NOTIFICATION, IPP_TAG_INTEGER,
                        "notify-sequence-number", ++sequence);
          ippAddInteger(response, IPP_TAG_EVENT_NOTIFICATION, IPP_TAG_INTEGER, "notify-job-id", 7);
          ippAddInteger(response, IPP_TAG_EVENT_NOTIFICATION, IPP_TAG_ENUM, "job-state", state);
        }
      }
    }
    std::string out;
    ippSetState(response, IPP_STATE_IDLE);
    ippWriteIO(&out, WriteIpp, 1, nullptr, response);
    ippDelete(response);
    const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nContent-Length: " +
                              std::to_string(out.size()) + "\r\n\r\n" + out;
    if (!WriteAllTo(fd, reply)) break;
  }
  // Closed by Serve's end, so its shutdown never meets a reused number.
}

}  // namespace quillon_test
