#include "cli/Output.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

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
}  // namespace

void OutLine(const std::string& line) { OutText(line + "\n"); }

void OutText(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void ErrLine(const std::string& line) { ErrText("quillon-cli: " + line + "\n"); }

void ErrText(const std::string& text) {
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
  if (write && !kept_.empty()) ErrText(kept_);
  kept_.clear();
}

void SetVerbosity(Verbosity v) { gVerbosity = v; }
Verbosity CurrentVerbosity() { return gVerbosity; }

void VerboseLine(const std::string& line) {
  if (gVerbosity == Verbosity::Verbose) ErrLine(line);
}

}  // namespace cli
