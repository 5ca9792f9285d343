#include "cli/ProgressBar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "cli/Output.h"


namespace cli {
namespace {

int TerminalWidth() {
  struct winsize ws {};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 10) return ws.ws_col;
  return 80;
}

void Write(const std::string& text) { RawErrText(text); }

// Columns of UTF-8 text, counting every character as one (enough for the
// names of printers; a wide character at worst shortens the bar).
int Columns(const std::string& s) {
  int n = 0;
  for (unsigned char c : s) {
    if ((c & 0xC0) != 0x80) ++n;
  }
  return n;
}

std::string CutColumns(const std::string& s, int columns) {
  if (columns <= 0) return std::string();
  std::size_t bytes = 0;
  int n = 0;
  while (bytes < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[bytes]);
    if ((c & 0xC0) != 0x80) {
      if (n == columns) break;
      ++n;
    }
    ++bytes;
  }
  return s.substr(0, bytes);
}

}  // namespace

ProgressBar::ProgressBar(bool enabled)
    : enabled_(enabled && CurrentVerbosity() != Verbosity::Quiet),
      lines_(!enabled && CurrentVerbosity() == Verbosity::Verbose),
      escapes_(EscapesAllowed()) {
  if (enabled_) SetLiveLine(this);
}

ProgressBar::~ProgressBar() {
  Clear();
  if (enabled_) SetLiveLine(nullptr);
}

// A terminal without escapes (TERM=dumb) still goes back with \r: the old
// line is overwritten with blanks instead of erased.
void ProgressBar::Put(const std::string& line) {
  const std::size_t cols = static_cast<std::size_t>(Columns(line));
  if (escapes_) {
    Write("\r\033[K" + line);
  } else {
    Write("\r" + line + (shown_ > cols ? std::string(shown_ - cols, ' ') : std::string()) +
          (shown_ > cols ? "\r" + line : std::string()));
  }
  shown_ = cols;
}

void ProgressBar::Wipe() {
  if (escapes_)
    Write("\r\033[K");
  else
    Write("\r" + std::string(shown_, ' ') + "\r");
  shown_ = 0;
}

void ProgressBar::Hide() {
  if (!enabled_ || !drawn_ || hidden_) return;
  Wipe();
  hidden_ = true;
}

void ProgressBar::Show() {
  if (!enabled_ || !hidden_) return;
  hidden_ = false;
  Put(last_);
}

std::string ProgressBar::Line(const std::vector<Item>& items, int width) {
  if (items.empty()) return std::string();
  std::string line;
  if (items.size() == 1) {
    const int percent = std::clamp(items[0].percent, 0, 100);
    char tail[8];
    std::snprintf(tail, sizeof tail, " %3d%%", percent);
    const int nameCols = std::min(Columns(items[0].name), std::max(0, width / 3));
    const int barCols = std::max(10, width - nameCols - 9);
    const int filled = barCols * percent / 100;
    line = CutColumns(items[0].name, nameCols) + " [" + std::string(filled, '#') +
           std::string(barCols - filled, '-') + "]" + tail;
  } else {
    for (const Item& item : items) {
      if (!line.empty()) line += "  ";
      line += item.name + " " + std::to_string(std::clamp(item.percent, 0, 100)) + "%";
    }
  }
  return CutColumns(line, width - 1);
}

void ProgressBar::Draw(const std::vector<Item>& items, const std::string& status) {
  if (lines_) {
    // Without a terminal: one line each time a transfer passes a tenth.
    for (const Item& item : items) {
      const int tenth = std::clamp(item.percent, 0, 100) / 10;
      auto& last = tenths_[item.name];
      if (last == tenth) continue;
      last = tenth;
      Write(item.name + " " + std::to_string(tenth * 10) + "%\n");
    }
    return;
  }
  if (!enabled_) return;
  const int width = TerminalWidth();
  std::string line = Line(items, width);
  if (!status.empty()) line = CutColumns(line.empty() ? status : status + "  " + line, width - 1);
  WithErrLock([&] {
    if (drawn_ && line == last_) return;
    Put(line);
    last_ = line;
    drawn_ = true;
    hidden_ = false;
  });
}

void ProgressBar::Clear() {
  WithErrLock([&] {
    if (!enabled_ || !drawn_) return;
    if (!hidden_) Wipe();
    drawn_ = false;
    hidden_ = false;
    last_.clear();
  });
}

}  // namespace cli
