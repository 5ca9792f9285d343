#include "cli/Output.h"

#include <cstdio>

namespace cli {

void OutLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void ErrLine(const std::string& line) { ErrText("quillon-cli: " + line + "\n"); }

void ErrText(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace cli
