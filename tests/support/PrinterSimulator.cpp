#include "tests/support/PrinterSimulator.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/TestEnv.h"
#include "tests/support/WaitUntil.h"

namespace quillon_test {
namespace {

using Clock = std::chrono::steady_clock;

bool FileExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

std::vector<std::string> ReadLines(const std::string& path, size_t atLeast) {
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  for (;;) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty()) lines.push_back(line);
    }
    if (lines.size() >= atLeast || Clock::now() > deadline) return lines;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

}  // namespace

PrinterSimulator::PrinterSimulator(const std::vector<std::string>& args) {
  // Each process starts at its own place so parallel tests rarely meet;
  // an address already taken makes the simulator fail, and we move on.
  const int start = static_cast<int>(::getpid() % 200);
  for (int i = 0; i < 40 && pid_ < 0; ++i) {
    octet_ = 10 + (start + i * 7) % 240;
    address_ = "127.0.4." + std::to_string(octet_);
    addresses_ = {address_};
    Start({"--address", address_}, args);
  }
}

PrinterSimulator::PrinterSimulator(int count, const std::vector<std::string>& args,
                                   const std::map<int, std::string>& printers) {
  // Blocks 127.0.20 .. 127.0.249, probed the same way as single addresses.
  const int start = static_cast<int>(::getpid() % 230);
  for (int i = 0; i < 40 && pid_ < 0 && count > 0 && count <= 250; ++i) {
    octet_ = 20 + (start + i * 7) % 230;
    const std::string block = "127.0." + std::to_string(octet_) + ".";
    addresses_.clear();
    for (int n = 1; n <= count; ++n) addresses_.push_back(block + std::to_string(n));
    address_ = addresses_.front();
    std::vector<std::string> all = args;
    if (!printers.empty()) {
      std::string json;
      for (const auto& [index, entry] : printers) {
        if (index < 0 || index >= count) continue;
        json += (json.empty() ? "{" : ", ") + ("\"" + addresses_[index] + "\": ") + entry;
      }
      const std::string config = MakeTestDir("fleet") + "/printers.json";
      WriteFileBytes(config, json + "}");
      all.insert(all.end(), {"--printer-config", config});
    }
    Start({"--addresses", block + "1-" + std::to_string(count)}, all);
  }
}

PrinterSimulator::PrinterSimulator(const std::string& address,
                                   const std::vector<std::string>& args, int waitSeconds) {
  address_ = address;
  addresses_ = {address};
  const auto deadline = Clock::now() + std::chrono::seconds(waitSeconds);
  while (!Start({"--address", address}, args) && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
}

PrinterSimulator::~PrinterSimulator() { Stop(); }

std::string PrinterSimulator::OtherAddress() const { return "127.0.5." + std::to_string(octet_); }

bool PrinterSimulator::Start(const std::vector<std::string>& listen,
                             const std::vector<std::string>& args) {
  root_ = MakeTestDir("printer");
  const std::string ready = root_ + "/ready";
  std::vector<std::string> argv = {"/usr/bin/python3",
                                   std::string(QUILLON_SOURCE_DIR) + "/tools/printer_sim.py"};
  argv.insert(argv.end(), listen.begin(), listen.end());
  for (const char* a : {"--root", root_.c_str(), "--ready-file", ready.c_str(), "--max-seconds",
                        "300", "--quiet"})
    argv.emplace_back(a);
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);

  const std::string logPath = root_ + "/simulator.log";
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    // The simulator must not outlive a test that crashed.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    // Its messages go to a log beside its files, not into the test output.
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (log >= 0) {
      ::dup2(log, 1);
      ::dup2(log, 2);
    }
    ::execv(cargv[0], cargv.data());
    ::_exit(127);
  }
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < deadline) {
    if (FileExists(ready)) {
      pid_ = pid;
      return true;
    }
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) return false;  // address taken
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  return false;
}

void PrinterSimulator::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  pid_ = -1;
}

std::vector<std::string> PrinterSimulator::Reports(size_t atLeast) const {
  return ReadLines(root_ + "/reports.jsonl", atLeast);
}

std::vector<std::string> PrinterSimulator::ConsoleSessions(size_t atLeast) const {
  return ReadLines(root_ + "/console.jsonl", atLeast);
}

bool PrinterSimulator::Held(const std::string& point, size_t count,
                            const std::string& address) const {
  const std::string needle = "\"point\": \"" + point + "\"";
  const std::string where = "\"address\": \"" + address + "\"";
  size_t seen = 0;
  std::ifstream in(root_ + "/held.jsonl");
  for (std::string line; std::getline(in, line);)
    seen += line.find(needle) != std::string::npos &&
            (address.empty() || line.find(where) != std::string::npos);
  return seen >= count;
}

bool PrinterSimulator::WaitHeld(const std::string& point, size_t count,
                                const std::string& address) const {
  return WaitUntil([&] { return Held(point, count, address); }, 10000);
}

void PrinterSimulator::Release() const { WriteFileBytes(root_ + "/release", "go\n"); }

std::string PrinterSimulator::Log() const { return ReadFileBytes(root_ + "/simulator.log"); }

std::string ReceivedJob(const std::string& report) {
  const std::string file = JsonField(report, "file");
  if (file.size() < 2 || file.front() != '"') return std::string();
  return ReadFileBytes(file.substr(1, file.size() - 2));
}

std::string JsonField(const std::string& line, const std::string& key) {
  const std::string needle = "\"" + key + "\": ";
  const size_t at = line.find(needle);
  if (at == std::string::npos) return std::string();
  size_t start = at + needle.size();
  size_t end = start;
  if (line[start] == '"') {
    end = line.find('"', start + 1);
    return end == std::string::npos ? std::string() : line.substr(start, end - start + 1);
  }
  if (line[start] == '[') {
    int depth = 0;
    for (end = start; end < line.size(); ++end) {
      if (line[end] == '[') ++depth;
      if (line[end] == ']' && --depth == 0) return line.substr(start, end - start + 1);
    }
    return std::string();
  }
  end = line.find_first_of(",}", start);
  return line.substr(start, end - start);
}

}  // namespace quillon_test
