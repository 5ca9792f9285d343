#include "tests/cli/CliProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "tests/support/TestEnv.h"

namespace quillon_test {

CliProcess::CliProcess(const std::vector<std::string>& args, const std::string& input) {
  dir_ = MakeTestDir("cli");
  const std::string inPath = dir_ + "/stdin";
  if (!input.empty()) WriteFileBytes(inPath, input);
  std::vector<std::string> argv = {QUILLON_CLI};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  const std::string outPath = dir_ + "/stdout", errPath = dir_ + "/stderr";
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    const int in = ::open(input.empty() ? "/dev/null" : inPath.c_str(), O_RDONLY);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    // No display at all: the program must not need one.
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("QT_QPA_PLATFORM");
    ::execv(cargv[0], cargv.data());
    ::_exit(127);
  }
}

ScopedLanguage::ScopedLanguage(const char* lang) {
  const char* now = std::getenv("LANG");
  had_ = now != nullptr;
  if (now) saved_ = now;
  ::setenv("LANG", lang, 1);
}

ScopedLanguage::~ScopedLanguage() {
  if (had_)
    ::setenv("LANG", saved_.c_str(), 1);
  else
    ::unsetenv("LANG");
}

CliProcess::~CliProcess() {
  if (pid_ > 0 && !ended_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

void CliProcess::Signal(int sig) {
  if (pid_ > 0 && !ended_) ::kill(pid_, sig);
}

bool CliProcess::Running() {
  if (pid_ <= 0 || ended_) return false;
  if (::waitpid(pid_, &status_, WNOHANG) == pid_) {
    ended_ = true;
    return false;
  }
  return true;
}

std::string CliProcess::ErrSoFar() const { return ReadFileBytes(dir_ + "/stderr"); }

CliResult CliProcess::Wait(int timeoutMs) {
  CliResult r;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Running()) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status_, 0);
      ended_ = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (WIFEXITED(status_)) r.exitCode = WEXITSTATUS(status_);
  r.out = ReadFileBytes(dir_ + "/stdout");
  r.err = ReadFileBytes(dir_ + "/stderr");
  return r;
}

CliResult RunCli(const std::vector<std::string>& args, const std::string& input) {
  CliProcess p(args, input);
  return p.Wait();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

}  // namespace quillon_test
