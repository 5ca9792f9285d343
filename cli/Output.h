#pragma once
// Where quillon-cli writes: results on standard output (with --json only
// the JSON lines), messages for people on standard error.

#include <string>

namespace cli {

// One line on standard output, flushed so that a script reads each result
// as it comes.
void OutLine(const std::string& line);
// Text on standard output as it is.
void OutText(const std::string& text);
// One line on standard error, prefixed with "quillon-cli: ".
void ErrLine(const std::string& line);
// Text on standard error as it is (several lines allowed).
void ErrText(const std::string& text);

// How much goes to standard error beyond errors and questions: -q drops
// the progress and the notices, -v adds the files used and line-wise
// progress where there is no terminal.
enum class Verbosity { Quiet, Normal, Verbose };
void SetVerbosity(Verbosity v);
Verbosity CurrentVerbosity();
// ErrLine, with -v only.
void VerboseLine(const std::string& line);

}  // namespace cli
