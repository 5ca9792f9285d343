#include "core/command/DownloadChecks.h"

#include "core/app/Funcs.h"
#include "core/app/ModelTable.h"
#include "core/command/MessageBoxes.h"
#include "core/command/MessageIds.h"

namespace quillon {
namespace {

// A warning asking to go on (Cancel the default), a notice with OK and Cancel.
constexpr int kWarningQuestion = MB_HELP | MB_DEFBUTTON2 | MB_ICONQUESTION | MB_OKCANCEL;
constexpr int kNoticeOkCancel = MB_HELP | MB_ICONINFORMATION | MB_OKCANCEL;

bool UnknownModel(const CheckInput& in) { return in.printer.Known != 1; }

bool NotATarget(const CheckInput& in) {
  // A package naming no model is a target of none.
  if (in.targets.empty() || !in.models) return true;
  return IsPackageTarget(in.printer, in.targets, *in.models) == 0;
}

bool SeveralPorts(const CheckInput& in) { return (in.portFlags & PORT_MULTIPLE) != 0; }

// A model without the command flag is put into download mode by hand on a
// parallel port, and cannot be updated over any other.
bool HandModeOnParallel(const CheckInput& in) {
  return in.printer.Flag == 0 && (in.portFlags & PORT_LPT) != 0;
}
bool NotUpdatable(const CheckInput& in) {
  return in.printer.Flag == 0 && (in.portFlags & PORT_LPT) == 0;
}

bool StartQuestion(const CheckInput& in) { return in.withCommand && in.printer.Flag != 0; }

}  // namespace

const std::vector<DownloadCheck>& DownloadChecks() {
  static const std::vector<DownloadCheck> rows = {
      // No box of its own: an unknown model is not a target and cannot be
      // updated over its connection, which the rows below ask.
      {QuestionKind::ModelUnknown, CheckClass::Risk, 0, 0, help::kNone, false, false,
       UnknownModel},
      {QuestionKind::NotTarget, CheckClass::Risk, msg::kNotATarget, kWarningQuestion,
       help::kNotATarget, true, false, NotATarget},
      {QuestionKind::SeveralPorts, CheckClass::Risk, msg::kSeveralPorts, kWarningQuestion,
       help::kPortWarning, true, false, SeveralPorts},
      {QuestionKind::HandMode, CheckClass::Risk, msg::kEcpWarning, kNoticeOkCancel,
       help::kEcpPort, false, false, HandModeOnParallel},
      {QuestionKind::HandMode, CheckClass::Risk, msg::kSetDownloadMode, kNoticeOkCancel,
       help::kDownloadMode, false, false, HandModeOnParallel},
      // Its text asks to go on itself.
      {QuestionKind::NotUpdatable, CheckClass::Risk, msg::kParallelOnly, kWarningQuestion,
       help::kPortWarning, false, false, NotUpdatable},
      {QuestionKind::Routine, CheckClass::Routine, msg::kStartDownload, MB_ICONQUESTION,
       help::kInitSettings, false, true, StartQuestion},
  };
  return rows;
}

std::vector<const DownloadCheck*> ApplicableChecks(const CheckInput& in) {
  std::vector<const DownloadCheck*> out;
  for (const DownloadCheck& row : DownloadChecks()) {
    if (row.applies(in)) out.push_back(&row);
  }
  return out;
}

std::vector<QuestionKind> ApplicableRisks(const CheckInput& in) {
  std::vector<QuestionKind> out;
  for (const DownloadCheck* row : ApplicableChecks(in)) {
    if (row->cls != CheckClass::Risk) continue;
    // The two hand-mode boxes are one risk.
    if (!out.empty() && out.back() == row->kind) continue;
    out.push_back(row->kind);
  }
  return out;
}

const DownloadCheck* CheckOfMessage(int messageId) {
  if (messageId == 0) return nullptr;
  for (const DownloadCheck& row : DownloadChecks()) {
    if (row.messageId == messageId) return &row;
  }
  return nullptr;
}

}  // namespace quillon
