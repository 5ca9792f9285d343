#pragma once
// Queues on the private cupsd of the test run, and a raw printer that
// listens on a local TCP port.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillon_test {

// The folder of the private cupsd ("" when the run started none).
std::string CupsdDir();

// The harness command line for a sub-command, with its arguments quoted.
int Harness(const std::vector<std::string>& args);

// A raw queue on the private server; `model` non-empty gives it a tiny PPD
// with that make-and-model. True on success.
bool AddQueue(const std::string& name, const std::string& uri, const std::string& model = {});
bool AddClass(const std::string& name, const std::vector<std::string>& members);
void DeleteQueue(const std::string& name);

// The device URI of a raw printer at a local TCP port.
std::string SocketUri(int port);

// A TCP port on 127.0.0.1 where nobody listens (bound once, then released).
int UnusedPort();

// Single quotes for the shell.
std::string ShellQuote(const std::string& s);

// A raw printer: accepts connections on 127.0.0.1 and keeps what each
// connection brought once the peer has finished sending.
class RawListener {
 public:
  RawListener();
  ~RawListener();
  RawListener(const RawListener&) = delete;
  RawListener& operator=(const RawListener&) = delete;

  int Port() const { return port_; }
  // Waits (bounded) until `count` connections have finished.
  bool WaitForJobs(std::size_t count, int timeoutMs);
  std::vector<std::string> Jobs();

 private:
  void Run();

  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<std::string> jobs_;
  std::thread thread_;
};

}  // namespace quillon_test
