#include "cli/Output.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "cli/Language.h"

namespace cli {
namespace {
std::atomic<Verbosity> gVerbosity{Verbosity::Normal};
std::recursive_mutex gErrLock;
LiveLine* gLive = nullptr;
thread_local std::string* gHeld = nullptr;

void Write(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

// Each whole line in the run's language; a prompt without its line end
// and a progress line (carriage returns, escapes) stay as they are.
std::string InRunLanguage(const std::string& raw) {
  std::string text;
  std::size_t start = 0;
  for (std::size_t end; (end = raw.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = raw.substr(start, end - start);
    const bool drawn = line.find_first_of("\r\033") != std::string::npos;
    text += (drawn ? line : TrLine(line)) + "\n";
  }
  text += raw.substr(start);
  return text;
}

// Already in the run's language: held text or a live line's neighbours.
void Emit(const std::string& text) {
  if (gHeld) {
    *gHeld += text;
    return;
  }
  std::lock_guard<std::recursive_mutex> lock(gErrLock);
  LiveLine* live = gLive;
  if (live) live->Hide();
  Write(text);
  if (live) live->Show();
}
}  // namespace

void OutLine(const std::string& line) { OutText(TrLine(line) + "\n"); }

void OutText(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void ErrLine(const std::string& line) { ErrText("quillon-cli: " + TrLine(line) + "\n"); }


void ErrText(const std::string& raw) { Emit(InRunLanguage(raw)); }

void NoticeText(const std::string& text) {
  if (gVerbosity != Verbosity::Quiet) ErrText(text);
}

void RawErrText(const std::string& text) {
  std::lock_guard<std::recursive_mutex> lock(gErrLock);
  Write(text);
}

void WithErrLock(const std::function<void()>& fn) {
  std::lock_guard<std::recursive_mutex> lock(gErrLock);
  fn();
}

void SetLiveLine(LiveLine* line) {
  std::lock_guard<std::recursive_mutex> lock(gErrLock);
  gLive = line;
}

bool EscapesAllowed() {
  const char* term = std::getenv("TERM");
  return ::isatty(STDERR_FILENO) && term && *term && std::strcmp(term, "dumb") != 0;
}

ErrHold::ErrHold(bool active) : active_(active) {
  if (!active_) return;
  outer_ = gHeld;
  gHeld = &kept_;
}

ErrHold::~ErrHold() { Release(true); }

void ErrHold::Release(bool write) {
  if (!active_) return;
  active_ = false;
  gHeld = outer_;
  if (write && !kept_.empty()) Emit(kept_);
  kept_.clear();
}

void SetVerbosity(Verbosity v) { gVerbosity = v; }
Verbosity CurrentVerbosity() { return gVerbosity; }

void VerboseLine(const std::string& line) {
  if (gVerbosity == Verbosity::Verbose) ErrLine(line);
}

}  // namespace cli
