#include "cli/TerminalAnswerer.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "cli/Output.h"
#include "cli/Signals.h"
#include "cli/TerminalText.h"

using quillon::BoxAnswer;
using quillon::BoxQuestion;
using quillon::IDCANCEL;
using quillon::IDOK;

namespace cli {
namespace {

// The texts keep their line breaks as carriage returns (decoded package
// messages) or line feeds (string table); a terminal wants line feeds, and
// never the package's control characters.
std::string ForTerminal(const std::string& raw) {
  std::string text = cli::ForTerminal(raw);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

}  // namespace

TerminalAnswerer::TerminalAnswerer(bool yes, bool force, int initItems)
    : yes_(yes), force_(force), initItems_(initItems), interactive_(::isatty(0) && ::isatty(2)) {}

void TerminalAnswerer::Say(const std::string& text) const {
  if (!silent_) ErrText(text);
}

void TerminalAnswerer::Show(const BoxQuestion& q) const {
  if (silent_) return;
  std::string text = ForTerminal(q.text);
  if (!printer_.empty()) text = "[" + printer_ + "] " + text;
  ErrText(text + "\n");
}

bool TerminalAnswerer::AskYesNo(const std::string& prompt, bool dflt) {
  for (;;) {
    ErrText(prompt + (dflt ? " [Y/n] " : " [y/N] "));
    std::string line;
    for (;;) {
      char c;
      const ssize_t n = ::read(0, &c, 1);
      if (n < 0 && errno == EINTR && !Interrupted()) continue;
      if (n <= 0) {
        ErrText("\n");
        return false;  // end of input or Ctrl+C: not a yes
      }
      if (c == '\n') break;
      line += c;
    }
    if (line.empty()) return dflt;
    if (line == "y" || line == "Y" || line == "yes" || line == "ok" || line == "OK") return true;
    if (line == "n" || line == "N" || line == "no") return false;
  }
}

// --yes accepts the routine questions, --force the risky ones as well;
// under --yes a risky question is refused rather than asked, and without a
// terminal (or after Ctrl+C) nobody can answer, so it is refused.
bool TerminalAnswerer::AnsweredWithoutAsking(const BoxQuestion& q, BoxAnswer& answer) {
  const quillon::QuestionKind kind = quillon::ClassifyQuestion(q.messageId);
  const bool risky = kind != quillon::QuestionKind::Routine;
  if (Interrupted()) {
    Say("  -> refused: interrupted\n");
    answer.button = IDCANCEL;
    return true;
  }
  if (risky && force_) {
    Say("  -> OK (--force)\n");
    return true;
  }
  if (!risky && (yes_ || force_)) {
    Say(std::string("  -> OK (") + (yes_ ? "--yes" : "--force") + ")\n");
    return true;
  }
  if (risky && (yes_ || !interactive_)) {
    Say(std::string("  -> refused: ") + quillon::QuestionReasonText(kind) +
            " (only --force accepts this)\n");
    answer.button = IDCANCEL;
    return true;
  }
  if (!interactive_) {
    refused_ = true;
    Say("  -> refused: no terminal to answer on (--yes accepts the routine questions)\n");
    answer.button = IDCANCEL;
    return true;
  }
  return false;
}

BoxAnswer TerminalAnswerer::Answer(const BoxQuestion& q) {
  BoxAnswer answer;
  if (q.kind == BoxQuestion::Kind::Message) {
    const quillon::BoxLayout layout = quillon::LayoutForStyle(q.style);
    // A notice (OK is all it has) is kept back by -q unless it reports an error.
    const bool error = (q.style & 0xF0) == 0x10;
    if (!layout.cancelButton && !error && CurrentVerbosity() == Verbosity::Quiet) return answer;
    Show(q);
    if (!layout.cancelButton) return answer;
    if (AnsweredWithoutAsking(q, answer)) return answer;
    answer.button = AskYesNo("OK?", layout.defaultButton == IDOK) ? IDOK : IDCANCEL;
    return answer;
  }

  Show(q);
  // The start dialog: its check box says whether the settings memory is
  // initialised. --init-items answers it; else at a terminal its default
  // keeps the settings (whatever an earlier printer's answer was), and
  // unattended the box stays as it is (the caller refuses a reset nobody
  // chose).
  const bool given = initItems_ >= 0;
  const bool asking = !given && interactive_ && !yes_ && !force_;
  const bool shown = given ? initItems_ > 0 : asking ? false : q.checked;
  if (!silent_)
    ErrText(std::string("  [") + (shown ? "x" : " ") + "] " + ForTerminal(q.checkCaption) +
            (given ? " (--init-items)" : "") + "\n");
  if (given) {
    answer.checked = initItems_ > 0 ? 1 : 0;
    if (initItems_ > 0) answer.initItems = initItems_;
  }
  if (AnsweredWithoutAsking(q, answer)) return answer;
  if (!AskYesNo("Start?", true)) {
    answer.button = IDCANCEL;
    return answer;
  }
  if (!given) answer.checked = AskYesNo(ForTerminal(q.checkCaption) + "?", false) ? 1 : 0;
  if (Interrupted()) answer.button = IDCANCEL;
  return answer;
}

}  // namespace cli
