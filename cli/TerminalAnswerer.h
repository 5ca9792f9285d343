#pragma once
// The download command's message boxes on a terminal: notices are written
// to the error stream, questions are asked there and read from standard
// input. --yes accepts the routine questions only (the start confirmation,
// the package's begin message); a question that puts the printer at risk
// (a package for another model, a printer that cannot be updated over its
// connection) is accepted by --force alone, and refused under --yes
// without it. With no terminal to ask on, what neither option accepts is
// refused.

#include <string>

#include "core/command/MessageBoxes.h"
#include "core/command/QuestionKinds.h"

namespace cli {

class TerminalAnswerer : public quillon::BoxAnswerer {
 public:
  // initItems: --init-items, or -1 when not given. Given, it is the
  // answer to the initialisation question, never asked; not given, the
  // question's default at the terminal keeps the settings.
  TerminalAnswerer(bool yes, bool force, int initItems);

  quillon::BoxAnswer Answer(const quillon::BoxQuestion& q) override;

  // The printer the following boxes concern (their lines are prefixed).
  void SetPrinter(const std::string& printer) { printer_ = printer; }
  // True once a question was refused because nobody could answer it.
  // (Which risk a printer is refused for is the check rows' to say, not
  // the answerer's.)
  bool RefusedUnanswerable() const { return refused_; }
  // Whether an operator's answer can be had for a risky question: --force,
  // or a terminal without --yes.
  bool MayAcceptRisk() const { return force_ || (interactive_ && !yes_); }
  // Answers without writing anything (a dry run shows its plan instead).
  void SetSilent(bool silent) { silent_ = silent; }
  // Whether questions can be asked: standard input and error are terminals.
  bool Interactive() const { return interactive_; }

 private:
  void Show(const quillon::BoxQuestion& q) const;
  void Say(const std::string& text) const;
  bool AnsweredWithoutAsking(const quillon::BoxQuestion& q, quillon::BoxAnswer& answer);
  // Reads a yes/no answer; dflt when the line is empty; false on end of
  // input or an interrupt.
  bool AskYesNo(const std::string& prompt, bool dflt);

  bool yes_;
  bool force_;
  int initItems_;
  bool interactive_;
  bool refused_ = false;
  bool silent_ = false;
  std::string printer_;
};

}  // namespace cli
