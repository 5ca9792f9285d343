#include "core/command/QuestionKinds.h"

#include "core/command/DownloadChecks.h"

namespace quillon {

QuestionKind ClassifyQuestion(int messageId) {
  // The check rows say which questions put the printer at risk; the start
  // dialog, its follow-up, results and notices are routine.
  const DownloadCheck* row = CheckOfMessage(messageId);
  return row && row->cls == CheckClass::Risk ? row->kind : QuestionKind::Routine;
}

const char* QuestionReason(QuestionKind kind) {
  switch (kind) {
    case QuestionKind::Routine: return "";
    case QuestionKind::ModelUnknown: return "model_unknown";
    case QuestionKind::NotTarget: return "not_target";
    case QuestionKind::SeveralPorts: return "several_ports";
    case QuestionKind::NotUpdatable: return "not_updatable";
    case QuestionKind::HandMode: return "hand_download_mode";
  }
  return "";
}

const char* QuestionReasonText(QuestionKind kind) {
  switch (kind) {
    case QuestionKind::Routine: return "";
    case QuestionKind::ModelUnknown: return "the printer's model is unknown";
    case QuestionKind::NotTarget: return "the package is not made for the printer's model";
    case QuestionKind::SeveralPorts: return "the printer sends to several ports";
    case QuestionKind::NotUpdatable:
      return "the printer's model cannot be updated over this connection";
    case QuestionKind::HandMode:
      return "the printer must be put into download mode by hand on a parallel port";
  }
  return "";
}

}  // namespace quillon
