#pragma once
// What answering one of the download command's questions commits to, by
// the question's message number, in one place: a front end that answers
// for the operator (quillon-cli's --yes) accepts the routine ones only; the
// others put the printer at risk and need the operator's explicit word.

namespace quillon {

enum class QuestionKind {
  Routine,       // the start confirmation, the package's begin message, notices
  ModelUnknown,  // the printer's model could not be learnt (no question of its own)
  NotTarget,     // the package is not made for the printer's model
  SeveralPorts,  // the printer sends to several ports at once
  NotUpdatable,  // the model cannot be updated over this connection
  HandMode,      // parallel port: download mode set by hand at the printer
};

QuestionKind ClassifyQuestion(int messageId);

// The short reason a script reads ("not_target", ...); "" for Routine.
const char* QuestionReason(QuestionKind kind);
// The same for people.
const char* QuestionReasonText(QuestionKind kind);

}  // namespace quillon
