// download: the window's download command for one printer or a batch. The
// input checks, confirmations, result messages and log line are the
// download command's own; questions go to the terminal. The consoles of
// FTP printers are asked side by side; each printer's confirmation comes
// as soon as its answer is in, and its transfer starts right after (at
// most --jobs transfers at a time).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <future>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"
#include "cli/AppSetup.h"
#include "cli/Arguments.h"
#include "cli/BatchRunner.h"
#include "cli/Commands.h"
#include "cli/ConsoleProbe.h"
#include "cli/HostList.h"
#include "cli/Parallel.h"
#include "cli/PrinterLines.h"
#include "cli/ResumeFile.h"
#include "cli/Verify.h"
#include "cli/Versions.h"
#include "core/app/PrinterLock.h"
#include "platform/Spooler.h"
#include "cli/ExitCodes.h"
#include "cli/JsonOut.h"
#include "cli/Output.h"
#include "cli/ProgressBar.h"
#include "cli/Signals.h"
#include "cli/TerminalAnswerer.h"
#include "core/package/DownDocFile.h"
#include "core/transfer/PrintThread.h"
#include "core/command/DownloadCommand.h"
#include "core/command/FileSelection.h"
#include "core/command/MessageBoxes.h"
#include "core/command/ResultMessages.h"
#include "resources/Translations.h"

namespace cli {
namespace {

// The printer is busy: in the language of the download's other messages.
const char kBusyText[] =
    QT_TRANSLATE_NOOP("quillon-cli", "このﾌﾟﾘﾝﾀへの別のﾀﾞｳﾝﾛｰﾄﾞが実行中です。");
const char kDeclinedText[] = "a confirmation was refused";
const char kUnanswerableText[] =
    "a confirmation could not be asked: no terminal (--yes accepts every question)";

// One printer of the run and how it ended.
struct PrinterRun {
  std::string printer;
  std::string model;        // the printers file's model=, else --model
  std::string consoleHost;  // the console to ask for the version ("" none)
  bool asked = false;       // the console was asked before the transfer
  ConsoleAnswer before;
  std::string outcome;      // skipped, refused, sent; "" before the end
  bool verifying = false;
  std::future<Verification> verify;
  Verification verification;
  int exit = kExitOk;
  int result = -1;   // download result or package status; -1: none
  std::string message;
  std::uint64_t bytes = 0;
  double seconds = 0;
  std::string detail;  // the cause of a failure
  std::string port;    // the printer's port, for the log line
  std::unique_ptr<Transfer> transfer;
};

void PrintJson(const Options& o, const PrinterRun& r) {
  JsonLine line;
  line.Add("package", o.operand).Add("printer", r.printer).Add("route", RouteOf(r.printer));
  if (!r.model.empty()) line.Add("model", r.model);
  if (r.asked && r.before.reachable)
    line.Add("version_before", r.before.version);
  else
    line.AddNull("version_before");
  if (!r.outcome.empty()) line.Add("outcome", r.outcome);
  if (o.verify && r.outcome == "sent") {
    line.Add("verification", OutcomeText(r.verification.outcome));
    if (r.verification.versionAfter.empty())
      line.AddNull("version_after");
    else
      line.Add("version_after", r.verification.versionAfter);
    if (!r.verification.reason.empty()) line.Add("verification_detail", r.verification.reason);
  }
  if (r.result >= 0)
    line.Add("result", r.result);
  else
    line.AddNull("result");
  line.Add("exit", r.exit)
      .Add("message", r.message)
      .Add("detail", r.detail)
      .Add("bytes", static_cast<std::int64_t>(r.bytes))
      .AddNumber("seconds", r.seconds, 3);
  OutLine(line.Text());
}

// --skip-current and the downgrade refusal, from the version the
// printer's console reported; false (with the outcome set) when the
// printer is not to be sent to.
bool VersionAllows(const Options& o, const std::string& packageVersion, PrinterRun& r) {
  if (!r.asked || !r.before.reachable) return true;
  int order = 0;
  if (!CompareVersions(packageVersion, r.before.version, order)) return true;
  const std::string prefix = r.printer + ": ";
  if (order == 0 && o.skipCurrent) {
    r.outcome = "skipped";
    r.exit = kExitOk;
    r.message = "skipped: the printer runs the package's version " + r.before.version;
    ErrLine(prefix + r.message);
    return false;
  }
  if (order < 0 && !o.allowDowngrade) {
    r.outcome = "refused";
    r.exit = kExitRefused;
    r.message = "refused: the package's version " + packageVersion +
                " is older than the printer's " + r.before.version + " (--allow-downgrade sends it)";
    ErrLine(prefix + r.message);
    return false;
  }
  return true;
}

// Ends every printer with the same code and message (input or package
// failures concern them all).
int EndAll(const Options& o, std::vector<PrinterRun>& runs, int exit, int result,
           const std::string& message) {
  for (PrinterRun& r : runs) {
    r.exit = exit;
    r.result = result;
    r.message = message;
    if (o.json) PrintJson(o, r);
  }
  return exit;
}

// The table at the end of a batch, on standard output.
void PrintSummary(const std::vector<PrinterRun>& runs) {
  std::vector<std::vector<std::string>> rows = {
      {"PRINTER", "RESULT", "EXIT", "BYTES", "SECONDS", "MESSAGE"}};
  for (const PrinterRun& r : runs) {
    char secs[32];
    std::snprintf(secs, sizeof secs, "%.1f", r.seconds);
    rows.push_back({r.printer, r.result >= 0 ? std::to_string(r.result) : "-",
                    std::to_string(r.exit), std::to_string(r.bytes), secs, r.message});
  }
  std::vector<std::size_t> width(rows.front().size(), 0);
  for (const auto& row : rows) {
    for (std::size_t c = 0; c + 1 < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
  }
  OutLine("");
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line += std::string(width[c] - row[c].size() + 2, ' ');
    }
    OutLine(line);
  }
}

}  // namespace

int RunDownload(const Options& o) {
  std::vector<PrinterLine> lines;
  std::string error;
  if (!CollectPrinterLines(o, lines, error)) {
    ErrLine(error);
    return kExitInput;
  }
  if (!o.resume.empty()) {
    std::set<std::string> done;
    if (!SucceededPrinters(o.resume, done, error)) {
      ErrLine(error);
      return kExitInput;
    }
    std::vector<PrinterLine> left;
    for (const PrinterLine& l : lines) {
      if (!done.count(TPrinterLock::Key(l.printer))) left.push_back(l);
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
  TerminalAnswerer answerer(o.yes, o.initItems);
  quillon::MessageBoxes boxes(&answerer);
  TDownloadCommandCore command(*app, boxes);

  // What the window's panels would show once the package is chosen.
  TDownloadInputs in;
  in.fileName = o.operand;
  in.packagePath = o.operand;
  in.printer = printers.front();
  switch (command.CheckInput(in)) {
    case TDownloadOutcome::MissingInput:
      return EndAll(o, runs, kExitInput, -1, "the package cannot be found");
    case TDownloadOutcome::BadPackage: {
      const int status = app->Package ? app->Package->Status : 17;
      return EndAll(o, runs, kExitPackage, status, ResultText(ResultMessage(status)));
    }
    default:
      break;
  }
  const TDownDocFile& package = *app->Package;
  in.packageState = quillon::PackageStateText(package.DownLoadDesc, package.DownLoadVersion);
  if (package.HeaderValid != 1) {
    // The window's warning when such a file is chosen.
    const TResultMessage m = ResultMessage(kResultNotFirmwareFormat);
    boxes.MsgBox(ResultText(m), m.iconStyle, m.helpContext, app->ShowMessage);
  }

  // The consoles of FTP printers are asked in the background, --jobs at a
  // time; each printer's remaining checks and its confirmation follow as
  // soon as its own answer is in, and its transfer starts right after.
  const bool wantVersion = o.skipCurrent || o.verify;
  BackgroundWork checks(runs.size(), o.jobs, [&](std::size_t i) {
    PrinterRun& r = runs[i];
    if (RouteOf(r.printer) != "ftp" || (!r.model.empty() && !wantVersion)) return;
    r.consoleHost = HostOfPrinterName(r.printer);
    r.before = AskConsole(r.consoleHost);
    r.asked = true;
  });

  const bool batch = runs.size() > 1;
  // The printer's checks and confirmation; its transfer, or nullptr when
  // it is not to be sent to (then it is reported here).
  const auto prepare = [&](PrinterRun& r) -> Transfer* {
    if (Interrupted()) {
      r.exit = kExitAborted;
      r.result = kJobAborted;
      r.message = ResultText(ResultMessage(kJobAborted));
      if (o.json) PrintJson(o, r);
      return nullptr;
    }
    answerer.SetPrinter(batch ? r.printer : std::string());
    // The printer's own model: its line's, --model, or what its console
    // said already (so it is not asked twice).
    Options po = o;
    po.haveModel = !r.model.empty() || r.asked;
    po.model = !r.model.empty() ? r.model
               : r.asked        ? (r.before.reachable ? r.before.model : std::string("???"))
                                : std::string();
    SelectTarget(*app, r.printer, po);
    if (RouteOf(r.printer) == "spooler" && wantVersion) {
      r.consoleHost =
          ConsoleHostOfDevice(platform::FirstPort(std::string(FieldText(app->SelectedEntry.Port))));
      if (!r.consoleHost.empty()) {
        r.before = AskConsole(r.consoleHost);
        r.asked = true;
      }
    }
    if (!VersionAllows(o, package.DownLoadVersion, r)) {
      if (o.json) PrintJson(o, r);
      return nullptr;
    }
    if (command.CheckBeforeDownload(r.printer) != quillon::IDOK) {
      r.exit = Interrupted() ? kExitAborted : kExitDeclined;
      r.message = Interrupted()                  ? ResultText(ResultMessage(kJobAborted))
                  : answerer.RefusedUnanswerable() ? kUnanswerableText
                                                   : kDeclinedText;
      if (o.json) PrintJson(o, r);
      return nullptr;
    }
    // Everything the transfer needs travels in its request; the package is
    // shared read-only by all of them.
    r.port = std::string(FieldText(app->SelectedEntry.Port));
    r.transfer = std::make_unique<Transfer>();
    r.transfer->request = app->MakeTransferRequest();
    return r.transfer.get();
  };
  // A printer whose console is slow to answer holds back no other: the
  // first (in the printers' order) whose answer is in goes next.
  std::vector<bool> prepared(runs.size(), false);
  std::size_t left = runs.size();
  const auto next = [&]() -> Transfer* {
    for (std::size_t i = 0; i < runs.size() && left > 0; ++i) {
      if (prepared[i] || !checks.Ended(i)) continue;
      prepared[i] = true;
      --left;
      if (Transfer* t = prepare(runs[i])) return t;
    }
    return nullptr;
  };
  const auto more = [&] { return left > 0; };

  // The transfers; each one's outcome is reported as it ends.
  ProgressBar bar(::isatty(2) != 0);
  BatchRunner runner(o.jobs, bar);
  runner.RunFed(next, more, [&](Transfer& t) {
    PrinterRun* r = nullptr;
    for (PrinterRun& candidate : runs) {
      if (candidate.transfer.get() == &t) r = &candidate;
    }
    if (!r) return;
    r->bytes = t.result.bytesSent;
    r->seconds = t.seconds;
    r->detail = t.result.detail;
    answerer.SetPrinter(batch ? r->printer : std::string());
    if (t.busy) {
      r->exit = kExitBusy;
      r->message = quillon::TrText("quillon-cli", kBusyText);
      ErrText((batch ? "[" + r->printer + "] " : std::string()) + r->message + "\n");
    } else {
      r->result = t.result.code;
      r->exit = ExitOfResult(t.result.code);
      r->message = ResultText(ResultMessage(t.result.code));
      if (!t.result.Succeeded() && !t.result.detail.empty())
        ErrText((batch ? "[" + r->printer + "] " : std::string()) + t.result.detail + "\n");
      // The result messages read the code where the window leaves it.
      app->JobResult = t.result.code;
      command.ReportResult();
      if (t.result.Succeeded()) {
        r->outcome = "sent";
        TDownloadInputs line = in;
        line.printer = r->printer;
        line.port = r->port;
        command.WriteDownloadLog(line);
        if (o.verify) {
          // The restart takes a while: wait for it beside the other transfers.
          r->verifying = true;
          r->verify = std::async(std::launch::async, VerifyVersion, r->consoleHost,
                                 package.DownLoadVersion, o.verifyTimeout, 1000);
          return;
        }
      }
    }
    if (o.json) PrintJson(o, *r);
  });
  for (PrinterRun& r : runs) {
    if (!r.verifying) continue;
    r.verification = r.verify.get();
    const std::string before = r.asked && r.before.reachable ? r.before.version : "?";
    const std::string after =
        r.verification.versionAfter.empty() ? "?" : r.verification.versionAfter;
    const std::string said = std::string(OutcomeText(r.verification.outcome)) + ": version " +
                             before + " -> " + after +
                             (r.verification.reason.empty() ? "" : " (" + r.verification.reason + ")");
    if (r.verification.outcome == Verification::kUnverified) r.exit = kExitUnverified;
    r.message += " " + said;
    ErrText((batch ? "[" + r.printer + "] " : std::string()) + said + "\n");
    if (o.json) PrintJson(o, r);
  }

  std::vector<int> codes;
  for (const PrinterRun& r : runs) codes.push_back(r.exit);
  if (batch && !o.json) PrintSummary(runs);
  return BatchExit(codes);
}

}  // namespace cli
