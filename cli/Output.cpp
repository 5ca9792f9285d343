#include "cli/Output.h"

#include <atomic>
#include <cstdio>

namespace cli {
namespace {
std::atomic<Verbosity> gVerbosity{Verbosity::Normal};
}  // namespace

void OutLine(const std::string& line) { OutText(line + "\n"); }

void OutText(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void ErrLine(const std::string& line) { ErrText("quillon-cli: " + line + "\n"); }

void ErrText(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

void SetVerbosity(Verbosity v) { gVerbosity = v; }
Verbosity CurrentVerbosity() { return gVerbosity; }

void VerboseLine(const std::string& line) {
  if (gVerbosity == Verbosity::Verbose) ErrLine(line);
}

}  // namespace cli
