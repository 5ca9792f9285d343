#pragma once
// Where quillon-cli writes: results on standard output (with --json only
// the JSON lines), messages for people on standard error.

#include <functional>
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
// ErrText, but not with -q (notices of a printer that went well).
void NoticeText(const std::string& text);

// Whether the error stream may carry terminal escapes: a terminal whose
// TERM is set and not "dumb".
bool EscapesAllowed();

// A line redrawn in place on standard error (the progress bar): ErrText
// wipes it, writes and draws it again, so that no message lands on it.
class LiveLine {
 public:
  virtual ~LiveLine() = default;
  virtual void Hide() = 0;
  virtual void Show() = 0;
};
void SetLiveLine(LiveLine* line);  // nullptr: none
// Writes text to standard error as it is, under the lock ErrText takes
// (for the live line's own drawing).
void RawErrText(const std::string& text);
// Runs fn under that lock (the live line's state is read by ErrText).
void WithErrLock(const std::function<void()>& fn);

// While one is active on a thread, that thread's ErrText is kept back;
// Release(true) writes what was kept, Release(false) drops it (-q: the
// messages of a printer that went well). The destructor writes it.
class ErrHold {
 public:
  explicit ErrHold(bool active);
  ~ErrHold();
  ErrHold(const ErrHold&) = delete;
  ErrHold& operator=(const ErrHold&) = delete;
  void Release(bool write);

 private:
  bool active_;
  std::string kept_;
  std::string* outer_ = nullptr;
};

}  // namespace cli
