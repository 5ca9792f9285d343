#pragma once
// The command line of the windowed program as its users read it: one
// table from which `quillon --help` and the manual page quillon(1) are
// written. Plain text, no Qt, so the manual is made at build time.

#include <string>
#include <vector>

namespace quillon {

struct ProgramOptionDoc {
  const char* option;  // "/PR=name"
  const char* text;    // one paragraph
};

const std::vector<ProgramOptionDoc>& ProgramOptionDocs();

// True when the arguments ask for the help or the version instead of a run.
bool AsksForHelp(const std::vector<std::string>& args);
bool AsksForVersion(const std::vector<std::string>& args);

// `quillon --help`.
std::string ProgramHelp();
// The manual page quillon(1) in roff.
std::string ProgramManPage();

}  // namespace quillon
