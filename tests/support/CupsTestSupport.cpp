#include "tests/support/CupsTestSupport.h"

#include "tests/support/TestEnv.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace quillon_test {

std::string CupsdDir() {
  const char* d = std::getenv("QUILLON_CUPSD_DIR");
  return d ? std::string(d) : std::string();
}

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

int Harness(const std::vector<std::string>& args) {
  std::string cmd = ShellQuote(std::string(QUILLON_SOURCE_DIR) + "/scripts/cupsd-harness.sh");
  for (const auto& a : args) cmd += " " + ShellQuote(a);
  return RunCommand(cmd);
}

bool AddQueue(const std::string& name, const std::string& uri, const std::string& model) {
  std::vector<std::string> args{"addqueue", CupsdDir(), name, uri};
  if (!model.empty()) {
    const std::string ppd = MakeTestDir("ppd") + "/" + name + ".ppd";
    if (Harness({"ppd", model, ppd}) != 0) return false;
    args.push_back(ppd);
  }
  return Harness(args) == 0;
}

bool AddClass(const std::string& name, const std::vector<std::string>& members) {
  std::vector<std::string> args{"addclass", CupsdDir(), name};
  args.insert(args.end(), members.begin(), members.end());
  return Harness(args) == 0;
}

void DeleteQueue(const std::string& name) {
  RunCommand("lpadmin -x " + ShellQuote(name) + " 2>/dev/null");
}

std::string SocketUri(int port) {
  // The trailing "/?snmp=false" spares each job the supply probe.
  return "socket://127.0.0.1:" + std::to_string(port) + "/?snmp=false";
}

int UnusedPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  close(fd);
  return port;
}

RawListener::RawListener() {
  fd_ = socket(AF_INET, SOCK_STREAM, 0);
  if (fd_ < 0) return;
  int one = 1;
  setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd_, 8) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(fd_);
    fd_ = -1;
    return;
  }
  port_ = ntohs(a.sin_port);
  thread_ = std::thread(&RawListener::Run, this);
}

RawListener::~RawListener() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) close(fd_);
}

void RawListener::Run() {
  while (!stop_) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    int c = accept(fd_, nullptr, nullptr);
    if (c < 0) continue;
    std::string data;
    char buf[8192];
    // Read until the sender shuts its side; then close ours, which is what
    // the socket backend waits for before it reports the job done.
    while (!stop_) {
      pollfd q{c, POLLIN, 0};
      if (poll(&q, 1, 100) <= 0) continue;
      ssize_t n = read(c, buf, sizeof buf);
      if (n <= 0) break;
      data.append(buf, static_cast<std::size_t>(n));
    }
    close(c);
    {
      std::lock_guard<std::mutex> lock(mu_);
      jobs_.push_back(std::move(data));
    }
    cv_.notify_all();
  }
}

bool RawListener::WaitForJobs(std::size_t count, int timeoutMs) {
  std::unique_lock<std::mutex> lock(mu_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [&] { return jobs_.size() >= count; });
}

std::vector<std::string> RawListener::Jobs() {
  std::lock_guard<std::mutex> lock(mu_);
  return jobs_;
}

}  // namespace quillon_test
