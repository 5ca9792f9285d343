#pragma once
// quillon-cli run as a child process, in the test's environment (its own
// XDG folders and TMPDIR, the private cupsd), with standard output and
// error kept in files.
#include <sys/types.h>

#include <string>
#include <vector>

namespace quillon_test {

struct CliResult {
  int exitCode = -1;  // -1 when it did not end normally
  std::string out;
  std::string err;
};

class CliProcess {
 public:
  // Starts the program; input, when given, is its standard input (else
  // /dev/null, which is not a terminal).
  explicit CliProcess(const std::vector<std::string>& args, const std::string& input = {});
  ~CliProcess();
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  pid_t Pid() const { return pid_; }
  void Signal(int sig);
  // Waits (bounded; then kills) and collects the result.
  CliResult Wait(int timeoutMs = 120000);
  // What the program wrote to its error stream so far.
  std::string ErrSoFar() const;
  bool Running();

 private:
  pid_t pid_ = -1;
  int status_ = 0;
  bool ended_ = false;
  std::string dir_;
};

// The locale of the programs started while it lives (LANG; the suites run
// in Japanese): quillon-cli speaks one language per run, so a test of its
// English texts runs it in an English locale.
class ScopedLanguage {
 public:
  explicit ScopedLanguage(const char* lang);
  ~ScopedLanguage();
  ScopedLanguage(const ScopedLanguage&) = delete;
  ScopedLanguage& operator=(const ScopedLanguage&) = delete;

 private:
  std::string saved_;
  bool had_ = false;
};

// Runs to the end.
CliResult RunCli(const std::vector<std::string>& args, const std::string& input = {});

// The JSON lines of a run's standard output (lines that are not JSON fail
// the caller's check: everything on standard output must be JSON).
std::vector<std::string> Lines(const std::string& text);

}  // namespace quillon_test
