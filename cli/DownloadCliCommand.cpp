// download: the window's download command for one printer or a batch. The
// input checks, confirmations, result messages and log line are the
// download command's own; questions go to the terminal. The consoles of
// FTP printers are asked side by side; each printer's confirmation comes
// as soon as its answer is in, and its transfer starts right after (at
// most --jobs transfers at a time).
// A printer that the download would put at risk is refused without
// --force, and nothing is sent to it. Each printer ends with one line that
// says what happened to it.
#include <unistd.h>

#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <functional>
#include <set>
#include <optional>
#include <string>
#include <vector>

#include "core/app/QuillonApp.h"
#include "core/package/DigestAhead.h"
#include "core/app/TextUtil.h"
#include "cli/AppSetup.h"
#include "cli/Arguments.h"
#include "cli/BatchRunner.h"
#include "cli/CliSink.h"
#include "cli/Commands.h"
#include "cli/ConsoleProbe.h"
#include "cli/HostList.h"
#include "cli/IdentityProbe.h"
#include "cli/Parallel.h"
#include "cli/Plan.h"
#include "cli/PrinterLines.h"
#include "cli/ResumeFile.h"
#include "cli/Verify.h"
#include "cli/Waves.h"
#include "cli/BareHost.h"
#include "cli/RunSummary.h"
#include "cli/Versions.h"
#include "core/app/PrinterLock.h"
#include "platform/ProfileFile.h"
#include "platform/Spooler.h"
#include "cli/ExitCodes.h"
#include "cli/InputCheck.h"
#include "cli/JsonOut.h"
#include "cli/Language.h"
#include "cli/Output.h"
#include "cli/ProgressBar.h"
#include "cli/Signals.h"
#include "cli/TerminalAnswerer.h"
#include "cli/TerminalText.h"
#include "core/package/DigestAhead.h"
#include "core/package/DownDocFile.h"
#include "platform/Spooler.h"
#include "core/transfer/JobStream.h"
#include "core/transfer/PrintThread.h"
#include "core/command/DownloadChecks.h"
#include "core/command/DownloadCommand.h"
#include "core/command/DownloadJob.h"
#include "core/history/DownloadHistory.h"
#include "core/command/FileSelection.h"
#include "core/command/MessageBoxes.h"
#include "core/command/ResultMessages.h"
#include "netlib/quillon.h"
#include "resources/HelpFormat.h"
#include "resources/Translations.h"

using quillon::DownloadCommandCore;
using quillon::DownloadInputs;
using quillon::DownloadOutcome;
using quillon::FieldText;
using quillon::InitItemsText;
using quillon::JobFileAhead;
using quillon::PrinterTarget;
using quillon::ResultMessageText;
using quillon::ResultText;
using quillon::RouteOfPrinter;
using quillon::SettingsResetItems;
using quillon::TransferRoute;
using quillon::kJobAborted;
using quillon::kJobDirectory;
using quillon::kJobFileOpen;
using quillon::kJobPrintedWithErrors;
using quillon::kJobPrinterOpen;
using quillon::kJobTempFile;
using quillon::kResultNotFirmwareFormat;

namespace cli {
namespace {

// The printer is busy: in the language of the download's other messages.
const char kBusyText[] =
    QT_TRANSLATE_NOOP("quillon-cli", "このﾌﾟﾘﾝﾀへの別のﾀﾞｳﾝﾛｰﾄﾞが実行中です。");
const char kDeclinedText[] = "a confirmation was refused";
const char kUnanswerableText[] =
    "a confirmation could not be asked: no terminal (--yes accepts the routine questions)";

const char kNoAnswerText[] =
    "the printer does not answer: check that it is switched on and connected to the network, "
    "and that its address is right";

// A console that gave no answer at all (nothing listening, silence, a
// printer restarting), as against one that answered without naming a
// printer model.
bool ConsoleDidNotAnswer(const ConsoleAnswer& a) {
  return !a.reachable && a.error != ERR_NOT_PRINTER;
}

// One printer of the run and how it ended.
struct PrinterRun {
  std::string printer;
  // The printers file's model=, else --model; once selected, the model the
  // checks settled on (for the history).
  std::string model;
  std::string consoleHost;  // the printer's host to ask ("" none)
  bool asked = false;       // its identity sources were asked before the transfer
  quillon::identity::Config sources;  // which, in what order, with what credentials
  std::string sourcesError;  // a bad identity setting for its host
  quillon::identity::Answer identity;  // what they said
  ConsoleAnswer before;       // the same in the console's shape, for the checks
  std::chrono::steady_clock::time_point askedAt;
  std::string lookupDetail;   // why no console could be asked
  std::string versionDetail;  // why the version checks could not run
  std::int64_t historyRow = -1;  // the attempt's history row (-1: none)
  bool verifying = false;
  bool lined = false;  // its line was written
  std::chrono::steady_clock::time_point verifyBegin;
  std::future<Verification> verify;
  Verification verification;
  int exit = kExitOk;
  int result = -1;   // download result or package status; -1: none
  // succeeded, skipped, failed, refused, unreachable, declined, busy,
  // not_started, aborted
  std::string outcome = "not_started";
  std::string reason;  // refused: why, for scripts ("not_target", ...)
  std::string step;    // failed: the step that failed
  std::optional<int> initItems;  // what the restart command resets; none: no restart
  bool transferred = false;      // a transfer was set up for it
  std::string message;
  std::uint64_t bytes = 0;
  double seconds = 0;
  std::string detail;  // the cause of a failure
  std::string port;    // the printer's port, for the log line
  std::string recordError;  // why the history (or the log) was not written
  bool recordTried = false;
  CliSink sink;  // the job's progress, for the bar (outlives the job)
  std::unique_ptr<quillon::DownloadJob> job;
};

// The step a result code says failed.
const char* StepOf(int result) {
  switch (result) {
    case kJobFileOpen: return "package";
    case kJobTempFile: return "job_file";
    case kJobPrinterOpen: return "printer_open";
    case kJobPrintedWithErrors: return "print";
    case kJobDirectory: return "directory";
    default: return "send";
  }
}

std::string Bytes(std::uint64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

// The printer's outcome in one phrase.
std::string OutcomeText(const PrinterRun& r) {
  if (r.outcome == "succeeded") return "succeeded, " + Bytes(r.bytes) + " sent";
  if (r.outcome == "refused") return "refused: " + r.message;
  if (r.outcome == "unreachable") return "unreachable, nothing sent: " + r.message;
  if (r.outcome == "skipped") return r.message;
  if (r.outcome == "aborted") return "aborted after " + Bytes(r.bytes);
  if (r.outcome == "failed")
    return "failed at " + r.step + ": " + (r.detail.empty() ? r.message : r.detail);
  if (r.outcome == "not_started")
    return r.message.empty() ? "not started (aborted)" : "not started: " + r.message;
  return "not started: " + r.message;  // declined, busy
}

// Sets the outcome of a job's result.
void SetOutcome(PrinterRun& r, const quillon::DownloadJobResult& j) {
  r.result = j.transfer.code;
  r.exit = ExitOfResult(j.transfer.code);
  r.message = ResultText(ResultMessage(j.transfer.code));
  r.outcome = j.Outcome();
  if (r.outcome == "not_started") r.message = "aborted before its turn";
  if (r.outcome == "failed") r.step = StepOf(j.transfer.code);
}

void PrintJson(const Options& o, const PrinterRun& r) {
  JsonLine line;
  line.Add("schema", kSchemaDownload).Add("package", o.operand).Add("printer", r.printer).Add("route", RouteOf(r.printer));
  if (!r.model.empty()) line.Add("model", r.model);
  if (r.asked && r.before.reachable)
    line.Add("version_before", r.before.version);
  else
    line.AddNull("version_before");
  line.AddOrNull("version_detail", r.versionDetail);
  if (r.asked && r.identity.reachable)
    line.Add("identity_source", r.identity.source);
  else
    line.AddNull("identity_source");
  if (o.verify && r.outcome == "succeeded") {
    line.Add("verification", OutcomeText(r.verification.outcome));
    line.AddOrNull("version_after", r.verification.versionAfter);
    if (!r.verification.reason.empty()) line.Add("verification_detail", r.verification.reason);
    if (!r.verification.source.empty()) line.Add("verification_source", r.verification.source);
    if (!r.verification.restart.empty()) line.Add("restart", r.verification.restart);
  }
  if (r.result >= 0)
    line.Add("result", r.result);
  else
    line.AddNull("result");
  line.Add("exit", r.exit).Add("outcome", r.outcome);
  line.AddOrNull("reason", r.reason).AddOrNull("step", r.step).AddOrNull("init_items", r.initItems);
  line.Add("message", r.message)
      .Add("text", OutcomeText(r))
      .Add("detail", r.detail)
      .Add("bytes", static_cast<std::int64_t>(r.bytes))
      .AddNumber("seconds", r.seconds, 3);
  if (r.recordTried) {
    line.Add("recorded", r.recordError.empty());
    if (!r.recordError.empty()) line.Add("record_error", r.recordError);
  }
  OutLine(line.Text());
}

// Why the printer's version is not known, when it was wanted.
std::string VersionUnknownReason(const PrinterRun& r) {
  if (!r.asked) return r.lookupDetail.empty() ? "no console to ask" : r.lookupDetail;
  if (r.identity.reachable)
    return "its " + r.identity.source + " answer tells no version" +
           (r.identity.versionDetail.empty() ? std::string() : ": " + r.identity.versionDetail);
  return "the printer did not answer (" + CausesText(r.identity) + ")";
}

// --skip-current and the downgrade refusal, from the version the
// printer's console reported; false (with the outcome set) when the
// printer is not to be sent to. A version that cannot be known does not
// hold the printer back (its model checks still run); it is said instead.
bool VersionAllows(const Options& o, const std::string& packageVersion, bool wanted,
                   PrinterRun& r) {
  const std::string prefix = r.printer + ": ";
  if (!r.asked || !r.before.reachable || r.before.version.empty()) {
    if (wanted) {
      r.versionDetail = "version not known, not compared: " + VersionUnknownReason(r);
      NoticeText("quillon-cli: " + prefix + r.versionDetail + "\n");
    }
    return true;
  }
  int order = 0;
  if (!CompareVersions(packageVersion, r.before.version, order)) {
    if (wanted) {
      r.versionDetail = "the printer's version \"" + r.before.version + "\" and the package's \"" +
                        packageVersion + "\" do not compare";
      ErrLine(prefix + r.versionDetail);
    }
    return true;
  }
  if (order == 0 && o.skipCurrent) {
    r.outcome = "skipped";
    r.exit = kExitOk;
    r.message = "skipped: the printer runs the package's version " + r.before.version;
    NoticeText("quillon-cli: " + prefix + r.message + "\n");
    return false;
  }
  if (order < 0 && !o.allowDowngrade) {
    r.outcome = "refused";
    r.exit = kExitRefused;
    r.reason = "downgrade";
    r.message = "the package's version " + packageVersion +
                " is older than the printer's " + r.before.version + " (--allow-downgrade sends it)";
    ErrLine(prefix + r.message);
    return false;
  }
  return true;
}

// The printer's line: JSON, or one line of text on standard output (with
// -q only for a printer that did not go well).
void PrintOutcome(const Options& o, PrinterRun& r) {
  r.lined = true;
  if (o.dryRun) return;  // the plan's lines come at the end, in order
  if (o.json)
    PrintJson(o, r);
  else if (CurrentVerbosity() != Verbosity::Quiet || IsFailureOutcome(r.outcome, r.exit))
    OutLine(r.printer + ": " + OutcomeText(r));
}

// Ends every printer with the same code and message (input or package
// failures concern them all).
int EndAll(const Options& o, std::vector<PrinterRun>& runs, int exit, int result,
           const std::string& message) {
  for (PrinterRun& r : runs) {
    r.exit = exit;
    r.result = result;
    r.message = message;
    r.outcome = "not_started";
    PrintOutcome(o, r);
  }
  return exit;
}

// The table at the end of a batch, on standard output.
void PrintSummary(const std::vector<PrinterRun>& runs) {
  std::vector<std::vector<std::string>> rows = {
      {Tr("PRINTER"), Tr("RESULT"), Tr("EXIT"), Tr("BYTES"), Tr("SECONDS"), Tr("OUTCOME")}};
  for (const PrinterRun& r : runs) {
    char secs[32];
    std::snprintf(secs, sizeof secs, "%.1f", r.seconds);
    rows.push_back({r.printer, r.result >= 0 ? std::to_string(r.result) : "-",
                    std::to_string(r.exit), std::to_string(r.bytes), secs, TrLine(OutcomeText(r))});
  }
  std::vector<std::size_t> width(rows.front().size(), 0);
  for (const auto& row : rows) {
    for (std::size_t c = 0; c + 1 < row.size(); ++c)
      width[c] = std::max(width[c], static_cast<std::size_t>(quillon::TextColumns(row[c])));
  }
  OutLine("");
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line += std::string(width[c] - quillon::TextColumns(row[c]) + 2, ' ');
    }
    OutLine(line);
  }
}

// One printer's checks and confirmation before its transfer, the same
// steps for every printer of a run, with what the run shares.
struct PrinterPreparation {
  const Options& o;
  std::unique_ptr<TQUILLONApp>& app;
  DownloadCommandCore& command;
  TerminalAnswerer& answerer;
  BatchRunner& runner;
  const DownloadInputs& in;
  const TDownDocFile& package;
  const bool batch;
  const bool wantVersion;
  const bool holdNotices;
  // Asks the printer's identity sources again (a plan's pin).
  const std::function<void(PrinterRun&)> askIdentity;
  std::set<std::string>& settingsTold;  // each bad identity setting is told once
  const std::shared_ptr<JobFileAhead> jobAhead;  // the job file written while the printers are asked

  // The run stopped itself: the printers left are not started.
  quillon::DownloadJob* Stopped(PrinterRun& r) const {
    r.exit = kExitRefused;
    r.outcome = "not_started";
    r.reason = runner.StopReason();
    r.message = r.reason == "canary_failed"
                    ? "a printer of the canary wave failed"
                    : "the failures of the run reached --max-failures";
    PrintOutcome(o, r);
    return nullptr;
  }
  // Ctrl+C before a printer's turn: it never starts and says so.
  quillon::DownloadJob* NotStarted(PrinterRun& r) const {
    r.exit = kExitAborted;
    r.result = kJobAborted;
    r.outcome = "not_started";
    r.message = "aborted before its turn";
    PrintOutcome(o, r);
    return nullptr;
  }
  // The printer's checks and confirmation; its transfer, or nullptr when
  // it is not to be sent to (then it is reported here).
  quillon::DownloadJob* Checked(PrinterRun& r) {
    if (Interrupted()) return NotStarted(r);
    if (!runner.StopReason().empty()) return Stopped(r);
    const std::string tag = batch ? "[" + r.printer + "] " : std::string();
    answerer.SetPrinter(batch ? r.printer : std::string());
    if (!r.sourcesError.empty() && settingsTold.insert(r.sourcesError).second)
      ErrLine("settings: " + r.sourcesError);
    const PlannedPrinter* planned = PlannedOf(o, r.printer);
    if (planned && r.asked &&
        std::chrono::steady_clock::now() - r.askedAt > std::chrono::seconds(2)) {
      // A plan pins who the printer is: asked again just before sending,
      // not when the run began.
      askIdentity(r);
      if (Interrupted()) return NotStarted(r);
    }
    // The printer's own model: its line's, --model, or what an FTP
    // printer's console said already (so it is not asked twice). A queue's
    // model is its driver's, whatever the console behind it says.
    Options po = o;
    const bool fromConsole = r.model.empty() && r.asked && RouteOf(r.printer) == "ftp";
    po.haveModel = !r.model.empty() || fromConsole;
    po.model = !r.model.empty() ? r.model
               : fromConsole    ? (r.before.reachable ? r.before.model : std::string("???"))
                                : std::string();
    if (fromConsole && ConsoleDidNotAnswer(r.before)) {
      // Nothing to decide on and nobody to send to: no option sends to a
      // printer whose console is silent (--force accepts risks of a
      // printer that answers; --model names the model for one that may
      // not).
      r.exit = kExitPrinterOpen;
      r.outcome = "unreachable";
      r.reason = "no_answer";
      r.detail = VersionUnknownReason(r);
      r.message = kNoAnswerText;
      ErrText(tag + "unreachable, nothing sent: " + r.message + " (" + r.detail + ")\n");
      PrintOutcome(o, r);
      runner.Decided(nullptr, true);
      return nullptr;
    }
    if (planned) {
      // Applying a plan: the address must still be the printer planned.
      std::string why;
      if (!SameIdentity(*planned, r.asked && r.before.reachable, r.before.model,
                        r.identity.serial, r.identity.uuid, why)) {
        r.exit = kExitRefused;
        r.outcome = "refused";
        r.reason = "identity_changed";
        r.message = why;
        ErrText(tag + "refused, nothing sent: " + r.message + "\n");
        PrintOutcome(o, r);
        return nullptr;
      }
    }
    SelectTarget(*app, r.printer, po);
    if (!VersionAllows(o, package.DownLoadVersion, wantVersion, r)) {
      PrintOutcome(o, r);
      return nullptr;
    }
    // What would put the printer at risk is never accepted for the
    // operator: --force, or the operator's own answer at a terminal.
    // A queue the spooler does not know is no risk but a printer that
    // cannot be opened: the transfer says so.
    platform::PrinterHandle queue;
    const bool noSuchQueue =
        RouteOfPrinter(r.printer) == TransferRoute::Spooler && !queue.Open(r.printer);
    queue.Close();
    // The printer's record is read once; the same rows are inspected here
    // and asked below.
    const quillon::CheckInput facts = command.ReadCheckInput(r.printer);
    const std::vector<quillon::QuestionKind> risks =
        noSuchQueue ? std::vector<quillon::QuestionKind>() : quillon::ApplicableRisks(facts);
    const bool operatorAsked = answerer.MayAcceptRisk() && app->ShowMessage != 0;
    quillon::QuestionKind refusal = quillon::QuestionKind::Routine;
    if (!risks.empty() && !o.force && !operatorAsked) refusal = risks.front();
    int checked = quillon::IDOK;
    // Each printer's start question offers the items given, and its answer
    // goes into this printer's request alone.
    std::uint32_t initItems = InitItemsOf(o);
    if (refusal == quillon::QuestionKind::Routine && !noSuchQueue) {
      // A risky row reaches the answerer only with --force or an operator
      // at the terminal, so a refusal here is the operator's: declined.
      checked = command.CheckBeforeDownload(facts, initItems);
    }
    if (Interrupted()) return NotStarted(r);
    if (refusal != quillon::QuestionKind::Routine) {
      r.exit = kExitRefused;
      r.outcome = "refused";
      r.reason = quillon::QuestionReason(refusal);
      std::string why;
      for (const quillon::QuestionKind k : risks)
        why += (why.empty() ? "" : "; ") + std::string(quillon::QuestionReasonText(k));
      r.message = (why.empty() ? quillon::QuestionReasonText(refusal) : why) +
                  std::string(" (--force sends it anyway)");
      ErrText(tag + "refused, nothing sent: " + r.message + "\n");
      PrintOutcome(o, r);
      return nullptr;
    }
    if (checked != quillon::IDOK) {
      r.exit = kExitDeclined;
      r.outcome = "declined";
      r.message = answerer.RefusedUnanswerable() ? kUnanswerableText : kDeclinedText;
      PrintOutcome(o, r);
      return nullptr;
    }
    // Everything the transfer needs travels in its request; the package is
    // shared read-only by all of them.
    r.port = std::string(FieldText(app->SelectedEntry.Port));
    r.model = command.SelectedModel();
    quillon::DownloadJobRequest job;
    job.transfer = app->MakeTransferRequest(initItems);
    job.transfer.holdQueue = !o.noHold;
    // A held queue's jobs wait until the restart has been seen, too.
    job.transfer.keepHoldAfterTransfer = o.verify;
    job.inputs = in;
    job.inputs.printer = r.printer;
    job.inputs.port = r.port;
    job.model = r.model;
    if (r.asked && r.before.reachable && !r.before.version.empty())
      job.versionBefore = r.before.version;
    if (r.asked && r.identity.reachable) job.identitySource = r.identity.source;
    job.preparedJob = jobAhead;
    job.logPath = command.LogPath;
    job.historyPath = command.HistoryPath;
    // Said before anything is sent: whether the printer's settings go.
    r.initItems = SettingsResetItems(job.transfer);
    if (o.initItems < 0 && (o.yes || o.force || o.dryRun) && r.initItems && *r.initItems != 0) {
      // Nobody chose to lose the printer's settings: unattended, that
      // takes --init-items.
      r.exit = kExitRefused;
      r.outcome = "refused";
      r.reason = "init_items_needed";
      r.message = "its settings memory would be initialised (items " +
                  std::to_string(*r.initItems) + ": " + InitItemsText(*r.initItems) +
                  "); --init-items none keeps them, --init-items N initialises N";
      ErrText(tag + "refused, nothing sent: " + r.message + "\n");
      PrintOutcome(o, r);
      return nullptr;
    }
    if (o.dryRun) {
      if (noSuchQueue) {
        r.exit = kExitPrinterOpen;
        r.outcome = "unreachable";
        r.reason = "no_such_queue";
        r.message = "the spooler has no queue of that name";
      } else {
        r.outcome = "send";
      }
      return nullptr;
    }
    r.job = std::make_unique<quillon::DownloadJob>(std::move(job), &r.sink);
    r.transferred = true;
    if (!r.initItems)
      NoticeText(tag + "settings memory: kept (no restart command is sent)\n");
    else if (*r.initItems == 0)
      NoticeText(tag + "settings memory: kept (initialisation items 0)\n");
    else
      ErrText(tag + "settings memory: will be initialised, items " + std::to_string(*r.initItems) +
              " (" + InitItemsText(*r.initItems) + "); --init-items 0 keeps them\n");
    return r.job.get();
  }
  // Checked(), with what it says of the printer held back under -q unless
  // it went wrong.
  quillon::DownloadJob* Prepare(PrinterRun& r) {
    ErrHold hold(holdNotices);
    quillon::DownloadJob* job = Checked(r);
    hold.Release(job == nullptr && IsFailureOutcome(r.outcome, r.exit));
    return job;
  }
};

}  // namespace

int RunDownload(const Options& o) {
  if (!o.planIn.empty()) return ApplyPlan(o);
  std::vector<PrinterLine> lines;
  std::string error;
  if (!CollectPrinterLines(o, lines, error)) {
    ErrLine(error);
    return kExitInput;
  }
  for (PrinterLine& l : lines) l.printer = BareHostPrinter(l.printer);
  if (o.planned) {
    for (PrinterLine& l : lines) {
      if (const PlannedPrinter* p = PlannedOf(o, l.printer)) l.model = p->lineModel;
    }
  }
  if (!o.resume.empty()) {
    std::set<std::string> done;
    std::set<std::string> batch;
    for (const PrinterLine& l : lines) batch.insert(PrinterTarget::IdentityOfText(l.printer));
    if (!ResumeDone(o.resume, batch, done, error)) {
      ErrLine(error);
      return kExitInput;
    }
    std::vector<PrinterLine> left;
    for (const PrinterLine& l : lines) {
      if (!done.count(PrinterTarget::IdentityOfText(l.printer))) left.push_back(l);
    }
    if (left.empty()) {
      ErrLine("every printer succeeded in " + o.resume + ": nothing to do");
      return kExitOk;
    }
    lines = left;
  }
  std::vector<PrinterRun> runs(lines.size());
  std::vector<std::string> printers;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    runs[i].printer = lines[i].printer;
    runs[i].model = lines[i].model.empty() && o.haveModel ? o.model : lines[i].model;
    printers.push_back(lines[i].printer);
  }

  auto app = MakeApp(o);
  // A dry run answers as an unattended run would, and asks nothing.
  TerminalAnswerer answerer(o.yes || o.dryRun, o.force, o.initItems);
  answerer.SetSilent(o.dryRun);
  quillon::MessageBoxes boxes(&answerer);
  DownloadCommandCore command(*app, boxes);

  // What the window's panels would show once the package is chosen.
  DownloadInputs in;
  in.fileName = o.operand;
  in.packagePath = o.operand;
  in.printer = printers.front();
  std::string unusable;
  if (!PackageFileUsable(o.operand, unusable)) {
    ErrLine(unusable);
    return EndAll(o, runs, kExitInput, -1, unusable);
  }
  // The package's own cause (which file, what is wrong with it) goes with
  // the refusal to standard error and into each printer's line.
  const auto badPackage = [&] {
    const int status = app->Package ? app->Package->Status : 17;
    const std::string cause = app->Package ? app->Package->StatusDetail : std::string();
    if (!command.InputDetail.empty())
      ErrLine(command.InputDetail + (cause.empty() ? "" : " (" + ForTerminal(cause) + ")"));
    for (PrinterRun& r : runs) r.detail = cause;
    return EndAll(o, runs, kExitPackage, status, ResultText(ResultMessage(status)));
  };
  // Everything that can refuse the package is checked here; its data are
  // read while the consoles are asked (below).
  app->OpenPackage(o.operand, TDownDocFile::DataRead::Later);
  switch (command.CheckInput(in)) {
    case DownloadOutcome::MissingInput:
      return EndAll(o, runs, kExitInput, -1,
                    command.InputDetail.empty() ? "the package cannot be found" : command.InputDetail);
    case DownloadOutcome::BadPackage:
      return badPackage();
    default:
      break;
  }
  const TDownDocFile& package = *app->Package;
  in.packageState = quillon::PackageStateText(package.DownLoadDesc, package.DownLoadVersion);
  if (package.HeaderValid != 1) {
    // The window's warning when such a file is chosen.
    const ResultMessageText m = ResultMessage(kResultNotFirmwareFormat);
    boxes.MsgBox(ResultText(m), m.iconStyle, m.helpContext, app->ShowMessage);
  }

  // The consoles are asked in the background, --jobs at a time: an FTP
  // printer's for its model or version, a queue's (its device's network
  // host, asked of the spooler first) for its version. Each printer's
  // remaining checks and its confirmation follow as soon as its own answer
  // is in, and its transfer starts right after. The version is wanted for
  // --skip-current, --verify and the downgrade check (which needs a
  // package version that compares).
  const bool wantVersion =
      o.skipCurrent || o.verify || o.dryRun || o.planned ||
      (!o.allowDowngrade && !NormaliseVersion(package.DownLoadVersion).empty());
  // The transfers' bar and the waves; each outcome is reported as it ends.
  ProgressBar bar(::isatty(2) != 0);
  BatchRunner runner(o.jobs, bar, WavesOf(o, runs.size()));
  // The printers' identity sources (the console first by default, so a
  // console printer costs what it always did), per host as the settings say.
  const platform::ProfileFile settings(app->SettingsPath());
  // Its lookup index is built on the first read: here, so that the checks'
  // threads only read it.
  (void)settings.HasKey(quillon::identity::kSection, "Order");
  const TDLPrinterList& models = *app->Models;
  const auto askIdentity = [&](PrinterRun& r) {
    r.identity = AskIdentity(r.consoleHost, r.sources, models);
    r.before = AsConsoleAnswer(r.identity);
    r.asked = true;
    r.askedAt = std::chrono::steady_clock::now();
  };
  BackgroundWork checks(runs.size(), o.jobs, [&](std::size_t i) {
    PrinterRun& r = runs[i];
    if (RouteOf(r.printer) == "ftp") {
      if (!r.model.empty() && !wantVersion) return;
      r.consoleHost = HostOfPrinterName(r.printer);
    } else {
      if (!wantVersion) return;
      r.consoleHost = ConsoleHostOfQueue(r.printer, r.lookupDetail);
      if (r.consoleHost.empty()) return;
    }
    r.sources = IdentityConfigFor(o, settings, r.consoleHost, r.sourcesError);
    askIdentity(r);
  }, [&](const BackgroundWork& work, std::size_t i) {
    // The runner takes the printer on at once when every printer before it
    // is in as well; answers that come out of order wait for its next
    // round, which keeps the printers' order among answers that come
    // together (the canary wave is the first of them).
    for (std::size_t j = 0; j < i; ++j)
      if (!work.Ended(j)) return;
    runner.Wake();
  });
  std::set<std::string> settingsTold;
  // A data file that changed since it was measured refuses the package;
  // no console more is asked, and those being asked are let finish.
  if (command.ReadPackageData() != DownloadOutcome::Ready) {
    checks.Stop();
    return badPackage();
  }
  const quillon::DigestAhead digest(app->Package);
  // The job file is written while the consoles are asked.
  const std::shared_ptr<JobFileAhead> jobAhead =
      o.dryRun ? nullptr : std::make_shared<JobFileAhead>(app->Package);

  const bool batch = runs.size() > 1;
  // -q: what is said of a printer stays back unless it did not go well
  // (never while someone may be asked: the question must show).
  const bool holdNotices = CurrentVerbosity() == Verbosity::Quiet &&
                           (o.yes || o.force || !::isatty(0) || !::isatty(2));
  PrinterPreparation preparation{o,     app,   command,     answerer,    runner,      in,
                                 package, batch, wantVersion, holdNotices, askIdentity, settingsTold,
                                 jobAhead};
  // A printer whose console is slow to answer holds back no other: the
  // first (in the printers' order) whose answer is in goes next.
  std::vector<bool> prepared(runs.size(), false);
  std::size_t left = runs.size();
  const auto next = [&]() -> quillon::DownloadJob* {
    for (std::size_t i = 0; i < runs.size() && left > 0; ++i) {
      if (prepared[i]) continue;
      // "The first N printers" of a canary wave are the first in the list.
      if (!checks.Ended(i)) {
        if (runner.FillingCanary()) break;
        continue;
      }
      prepared[i] = true;
      --left;
      if (quillon::DownloadJob* job = preparation.Prepare(runs[i])) return job;
    }
    return nullptr;
  };
  const auto more = [&] { return left > 0; };

  // A verification ends on its own: its printer's line is written as soon
  // as it is decided, whichever printer is slower.
  const auto endVerification = [&](PrinterRun& r) {
    ErrHold hold(holdNotices);
    r.verifying = false;
    r.verification = r.verify.get();
    if (r.job) r.job->ReleaseQueueHold();  // the restart is over
    const std::string before = r.asked && r.before.reachable ? r.before.version : "?";
    const std::string after =
        r.verification.versionAfter.empty() ? "?" : r.verification.versionAfter;
    const std::string said = std::string(OutcomeText(r.verification.outcome)) + ": version " +
                             before + " -> " + after +
                             (r.verification.reason.empty() ? "" : " (" + r.verification.reason + ")") +
                             (r.verification.outcome == Verification::kVerified &&
                                      !r.verification.restart.empty()
                                  ? " (restarted: " + r.verification.restart + ")"
                                  : "");
    if (r.verification.outcome == Verification::kUnverified) r.exit = kExitUnverified;
    r.message += " " + said;
    const std::string tag = batch ? "[" + r.printer + "] " : std::string();
    ErrText(tag + said + "\n");
    if (r.historyRow >= 0) {
      const platform::Error noted = quillon::DownloadHistory(command.HistoryPath)
          .SetVerification(r.historyRow, OutcomeText(r.verification.outcome),
                           r.verification.versionAfter.empty()
                               ? std::nullopt
                               : std::optional<std::string>(r.verification.versionAfter));
      if (noted.Failed()) {
        r.recordError += (r.recordError.empty() ? "" : "; ") + noted.detail;
        ErrText(tag + "the verification's record was not written: " + noted.detail + "\n");
        if (r.exit == kExitOk) r.exit = kExitNotRecorded;
      }
    }
    const bool failed = r.verification.outcome == Verification::kUnverified;
    hold.Release(failed || r.exit != kExitOk);
    PrintOutcome(o, r);
    runner.Decided(r.job.get(), failed);
  };
  runner.SetPending(
      [&] {
        bool waiting = false;
        for (PrinterRun& r : runs) {
          if (!r.verifying) continue;
          if (r.verify.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
            endVerification(r);
          else
            waiting = true;
        }
        return waiting;
      },
      [&] {
        std::vector<Waiting> waiting;
        std::size_t done = 0;
        for (const PrinterRun& r : runs) {
          if (r.lined) ++done;
          if (r.verifying)
            waiting.push_back({r.consoleHost.empty() ? r.printer : r.consoleHost,
                               std::chrono::duration<double>(std::chrono::steady_clock::now() -
                                                             r.verifyBegin)
                                   .count()});
        }
        return TrLine(StatusText(done, runs.size(), waiting, o.verifyTimeout));
      });
  runner.RunFed(next, more, [&](quillon::DownloadJob& job) {
    PrinterRun* r = nullptr;
    for (PrinterRun& candidate : runs) {
      if (candidate.job.get() == &job) r = &candidate;
    }
    if (!r) return;
    // The job has ended and written its record; what follows only tells.
    const quillon::DownloadJobResult& t = job.Result();
    r->bytes = t.transfer.bytesSent;
    r->seconds = t.transfer.Seconds();
    r->detail = t.transfer.detail;
    answerer.SetPrinter(batch ? r->printer : std::string());
    const std::string tag = batch ? "[" + r->printer + "] " : std::string();
    ErrHold hold(holdNotices);
    if (t.busy) {
      r->exit = kExitBusy;
      r->outcome = "busy";
      r->message = quillon::TrText("quillon-cli", kBusyText);
      ErrText(tag + r->message + "\n");
    } else {
      SetOutcome(*r, t);
      if (!t.transfer.Succeeded() && !t.transfer.detail.empty())
        ErrText(tag + t.transfer.detail + "\n");
      // A transfer that never started has nothing to report.
      if (t.started) {
        command.LastResult = t.transfer;  // the advice follows the cause
        command.ReportResult(t.transfer.code);
      }
      if (t.transfer.Succeeded() && o.verify) {
        // The restart takes a while: wait for it beside the other transfers.
        r->verifying = true;
        r->verifyBegin = std::chrono::steady_clock::now();
        ExpectedIdentity expected;
        if (r->asked && r->before.reachable) {
          expected.model = r->before.model;
          expected.serial = r->identity.serial;
          expected.uuid = r->identity.uuid;
          expected.uptimeSeconds = r->identity.uptimeSeconds;
        }
        if (!r->asked) r->sources = IdentityConfigFor(o, settings, r->consoleHost, r->sourcesError);
        // Asked in the same order as before the transfer.
        r->verify = std::async(std::launch::async,
                               [host = r->consoleHost, sources = r->sources, &models,
                                want = package.DownLoadVersion, timeout = o.verifyTimeout,
                                expected] {
                                 return VerifyIdentity(host, sources, models, want, timeout, 1000,
                                                       expected);
                               });
      }
    }
    r->historyRow = t.historyRow;
    r->recordTried = true;
    r->recordError = t.RecordError();
    if (!r->recordError.empty()) {
      ErrText(tag + "the download's record was not written: " + r->recordError + "\n");
      if (r->exit == kExitOk) r->exit = kExitNotRecorded;
    }
    // A printer being verified has its line once the verification ended.
    hold.Release(IsFailureOutcome(r->outcome, r->exit));
    if (!r->verifying) {
      PrintOutcome(o, *r);
      runner.Decided(&job, CountsAsFailure(r->outcome));
    }
  });

  if (o.dryRun) {
    std::vector<PlannedPrinter> plan;
    for (std::size_t i = 0; i < runs.size(); ++i) {
      const PrinterRun& r = runs[i];
      PlannedPrinter p;
      p.printer = r.printer;
      p.route = RouteOf(r.printer);
      p.plan = PlanValueOf(r.outcome);
      const bool answered = r.asked && r.before.reachable;
      p.model = !r.model.empty() ? r.model : answered ? r.before.model : std::string();
      p.lineModel = lines[i].model.empty() && o.haveModel ? o.model : lines[i].model;
      if (answered) {
        p.consoleModel = r.before.model;
        if (!r.before.version.empty()) p.versionBefore = r.before.version;
        p.serial = r.identity.serial;
        p.uuid = r.identity.uuid;
        p.identitySource = r.identity.source;
      }
      p.initItems = r.initItems;
      p.reason = r.reason;
      p.message = r.message;
      p.detail = !r.detail.empty() ? r.detail : r.versionDetail;
      p.exit = r.exit;
      PrintPlanLine(o, p, package.DownLoadVersion);
      plan.push_back(p);
    }
    if (!o.planOut.empty()) {
      PlanPackage pkg;
      pkg.path = QFileInfo(QString::fromStdString(o.operand)).absoluteFilePath().toStdString();
      pkg.dataSha256 = package.DataSha256();
      pkg.version = package.DownLoadVersion;
      if (!FileSha256(o.operand, pkg.sha256, error) ||
          !WritePlanFile(o.planOut, o, pkg, plan, error)) {
        ErrLine(error);
        return kExitLocalWrite;
      }
    }
    return PlanExit(plan);
  }
  std::vector<int> codes;
  for (const PrinterRun& r : runs) codes.push_back(r.exit);
  if (batch && !o.json && CurrentVerbosity() != Verbosity::Quiet) PrintSummary(runs);
  if (batch) {
    std::vector<std::string> outcomes;
    for (const PrinterRun& r : runs)
      outcomes.push_back(r.outcome == "succeeded" && r.exit == kExitUnverified ? "unverified"
                                                                               : r.outcome);
    ErrText(SummaryText(outcomes, JapaneseRun()) + "\n");
  }
  return BatchExit(codes);
}

}  // namespace cli
