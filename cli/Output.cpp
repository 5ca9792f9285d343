#include "cli/Output.h"

#include <atomic>
#include <cstdio>

#include "cli/Language.h"

namespace cli {
namespace {
std::atomic<Verbosity> gVerbosity{Verbosity::Normal};
}  // namespace

void OutLine(const std::string& line) { OutText(TrLine(line) + "\n"); }

void OutText(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void ErrLine(const std::string& line) { ErrText("quillon-cli: " + TrLine(line) + "\n"); }

void ErrText(const std::string& raw) {
  // Each whole line in the run's language; a prompt without its line end
  // and a progress line (carriage returns, escapes) stay as they are.
  std::string text;
  std::size_t start = 0;
  for (std::size_t end; (end = raw.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = raw.substr(start, end - start);
    const bool drawn = line.find_first_of("\r\033") != std::string::npos;
    text += (drawn ? line : TrLine(line)) + "\n";
  }
  text += raw.substr(start);
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

void SetVerbosity(Verbosity v) { gVerbosity = v; }
Verbosity CurrentVerbosity() { return gVerbosity; }

void VerboseLine(const std::string& line) {
  if (gVerbosity == Verbosity::Verbose) ErrLine(line);
}

}  // namespace cli
