#pragma once
// The checks before a download, as one ordered list: each row is a
// question the window asks and quillon-cli inspects (to refuse under --yes,
// or to show what a run would ask). Whether a row applies is decided from
// the printer's record read once for the download, the package's targets
// and the settings alone, so the list needs no print server to test.
#include <string>
#include <vector>

#include "core/app/PrinterEntry.h"
#include "core/command/QuestionKinds.h"

class TDLPrinterList;

namespace quillon {

// What the checks decide on, read once per download.
struct CheckInput {
  TPrinterEntry printer{};           // the printer's record, its model resolved
  int portFlags = 0;                 // PORT_* of a spooler queue; 0 for an FTP printer
  std::vector<std::string> targets;  // the package's models (DownLoadPrinter); none: no package
  const TDLPrinterList* models = nullptr;  // to match the targets' model codes
  bool withCommand = true;                 // the download command is on (EnableCommand=1)
};

enum class CheckClass {
  Routine,  // accepted for the operator by --yes
  Risk,     // puts the printer at risk: the operator's own word, or --force
};

struct DownloadCheck {
  QuestionKind kind;
  CheckClass cls;
  // The box: its string number (0: no box of its own, the row is inspected
  // only), style, help topic, and whether "go on?" follows the text.
  int messageId;
  int style;
  int helpContext;
  bool continueQuestion;
  // The start dialog with its initialisation check box (and its follow-up
  // notice), rather than a plain box.
  bool startDialog;
  bool (*applies)(const CheckInput&);
};

// Every row, in the order they are asked.
const std::vector<DownloadCheck>& DownloadChecks();
// The rows that apply to a download, in order.
std::vector<const DownloadCheck*> ApplicableChecks(const CheckInput& in);
// The risk rows that apply, in order: what --yes refuses and --force accepts.
std::vector<QuestionKind> ApplicableRisks(const CheckInput& in);
// The row whose box has this string number; nullptr for none.
const DownloadCheck* CheckOfMessage(int messageId);

}  // namespace quillon
