#pragma once
// The download command's message boxes on a terminal: notices are written
// to the error stream, questions are asked there and read from standard
// input, or all accepted with --yes. With no terminal to ask on and no
// --yes, every question is refused.

#include <string>

#include "core/command/MessageBoxes.h"

namespace cli {

class TerminalAnswerer : public quillon::BoxAnswerer {
 public:
  // initItems: --init-items, or -1 for the dialog's own choice.
  TerminalAnswerer(bool yes, int initItems);

  quillon::BoxAnswer Answer(const quillon::BoxQuestion& q) override;

  // The printer the following boxes concern (their lines are prefixed).
  void SetPrinter(const std::string& printer) { printer_ = printer; }
  // True once a question was refused because nobody could answer it.
  bool RefusedUnanswerable() const { return refused_; }
  // Whether questions can be asked: standard input and error are terminals.
  bool Interactive() const { return interactive_; }

 private:
  void Show(const quillon::BoxQuestion& q) const;
  bool AnsweredWithoutAsking(quillon::BoxAnswer& answer);
  // Reads a yes/no answer; dflt when the line is empty; false on end of
  // input or an interrupt.
  bool AskYesNo(const std::string& prompt, bool dflt);

  bool yes_;
  int initItems_;
  bool interactive_;
  bool refused_ = false;
  std::string printer_;
};

}  // namespace cli
