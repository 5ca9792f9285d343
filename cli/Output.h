#pragma once
// Where quillon-cli writes: results on standard output (with --json only
// the JSON lines), messages for people on standard error.

#include <string>

namespace cli {

// One line on standard output, flushed so that a script reads each result
// as it comes.
void OutLine(const std::string& line);
// One line on standard error, prefixed with "quillon-cli: ".
void ErrLine(const std::string& line);
// Text on standard error as it is (several lines allowed).
void ErrText(const std::string& text);

}  // namespace cli
