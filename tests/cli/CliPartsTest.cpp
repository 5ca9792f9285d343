// The front end's own pieces, in process: the command line, the printer
// list, the batch's exit code, the JSON text and the progress line.
#include <gtest/gtest.h>

#include "cli/Language.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "core/app/PrinterLock.h"
#include <QCryptographicHash>
#include <QDateTime>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/HelpText.h"
#include "cli/Output.h"
#include "cli/TerminalAnswerer.h"
#include "core/command/DownloadCommand.h"
#include "cli/JsonOut.h"
#include "cli/ProgressBar.h"
#include "tests/support/TestEnv.h"

using quillon::DownloadOutcome;
using quillon::PrinterLock;
using quillon::PrinterTarget;

using namespace cli;

namespace {

bool Parse(const std::vector<std::string>& args, Options& o, std::string* error = nullptr) {
  std::string e;
  const bool ok = ParseArguments(args, o, e);
  if (error) *error = e;
  return ok;
}

TEST(CliArguments, DownloadTakesRepeatedPrintersAndValuesInBothSpellings) {
  Options o;
  ASSERT_TRUE(Parse({"download", "FW.RXV", "--printer", "q1", "--printer=ftp://1.2.3.4/vesta0",
                     "--jobs=3", "-y", "--json", "--init-items", "0", "--model", "KV3"},
                    o));
  EXPECT_EQ(o.command, "download");
  EXPECT_EQ(o.operand, "FW.RXV");
  EXPECT_EQ(o.printers, (std::vector<std::string>{"q1", "ftp://1.2.3.4/vesta0"}));
  EXPECT_EQ(o.jobs, 3);
  EXPECT_TRUE(o.yes);
  EXPECT_TRUE(o.json);
  EXPECT_EQ(o.initItems, 0);
  EXPECT_TRUE(o.haveModel);
  EXPECT_EQ(o.model, "KV3");
}

TEST(CliArguments, RefusesWhatACommandDoesNotTakeOrLacks) {
  Options o;
  std::string e;
  EXPECT_FALSE(Parse({}, o, &e));
  EXPECT_FALSE(Parse({"upload", "x"}, o, &e));
  EXPECT_NE(e.find("unknown command"), std::string::npos);
  EXPECT_FALSE(Parse({"info"}, o, &e));                            // no package
  EXPECT_FALSE(Parse({"info", "a", "b"}, o, &e));                  // two operands
  EXPECT_FALSE(Parse({"info", "a", "--yes"}, o, &e));              // not an info option
  EXPECT_FALSE(Parse({"download", "a"}, o, &e));                   // no printer
  EXPECT_FALSE(Parse({"download", "a", "--printer"}, o, &e));      // value missing
  EXPECT_FALSE(Parse({"download", "a", "--printer="}, o, &e));     // empty name
  EXPECT_FALSE(Parse({"download", "a", "--printer", "p", "--jobs", "0"}, o, &e));
  EXPECT_FALSE(Parse({"download", "a", "--printer", "p", "--jobs", "x"}, o, &e));
  EXPECT_FALSE(Parse({"download", "a", "--printer", "p", "--init-items", "8"}, o, &e));
  EXPECT_FALSE(Parse({"download", "a", "--printer", "p", "--yes=1"}, o, &e));
  EXPECT_FALSE(Parse({"job", "a", "--printer", "p"}, o, &e));      // no -o
  EXPECT_FALSE(Parse({"job", "a", "--printer", "p", "--printer", "q", "-o", "f"}, o, &e));
  EXPECT_FALSE(Parse({"--json", "printers"}, o, &e));              // option before command
  EXPECT_TRUE(Parse({"--help"}, o, &e));
  EXPECT_TRUE(o.help);
}

TEST(CliArguments, PrinterListSkipsCommentsAndKeepsEachPrinterOnce) {
  EXPECT_EQ(ParsePrinterList("  q1 \r\n# a comment\n\n\tftp://10.0.0.7/vesta0\nq2"),
            (std::vector<std::string>{"q1", "ftp://10.0.0.7/vesta0", "q2"}));

  const std::string list = quillon_test::MakeTestDir("list") + "/printers.txt";
  ASSERT_TRUE(quillon_test::WriteFileBytes(
      list, "Q1\nftp://PRN7.example/vesta0\nftp://prn7.example/other\nq3\n"));
  Options o;
  ASSERT_TRUE(Parse({"download", "p", "--printer", "q1", "--printers-from", list}, o));
  std::vector<std::string> printers;
  std::string e;
  ASSERT_TRUE(CollectPrinters(o, printers, e));
  // Queue names ignore letter case; an FTP printer is its host, whatever
  // the folder, and is spelt canonically from here on.
  EXPECT_EQ(printers, (std::vector<std::string>{"q1", "ftp://prn7.example/vesta0", "q3"}));

  ASSERT_TRUE(Parse({"download", "p", "--printers-from", list + ".missing"}, o));
  EXPECT_FALSE(CollectPrinters(o, printers, e));
}

TEST(CliArguments, PrinterIsParsedWhereItEntersAndSpeltCanonically) {
  Options o;
  std::string e;
  ASSERT_TRUE(Parse({"download", "p", "--printer", "FTP://H:21/vesta0/", "--printer=ftp://[0::1]"}, o, &e))
      << e;
  EXPECT_EQ(o.printers, (std::vector<std::string>{"ftp://h/vesta0", "ftp://[::1]/vesta0"}));
  for (const char* bad : {"ftp://A/B/vesta0", "ftp://A/..", "ftp:///vesta0", "ftp://A:99999/x",
                          "two words"}) {
    Options b;
    EXPECT_FALSE(Parse({"download", "p", "--printer", bad}, b, &e)) << bad;
    EXPECT_NE(e.find(bad), std::string::npos) << e;
    EXPECT_FALSE(Parse({"job", "p", "--printer", bad, "-o", "x"}, b, &e)) << bad;
  }
  // The history's filter takes what rows written before may hold.
  Options h;
  ASSERT_TRUE(Parse({"history", "--printer", "ftp://A/B/vesta0"}, h, &e)) << e;
  EXPECT_EQ(h.printers, (std::vector<std::string>{"ftp://A/B/vesta0"}));

  // A printers file line is parsed the same way, naming its line's text.
  const std::string list = quillon_test::MakeTestDir("badlist") + "/printers.txt";
  ASSERT_TRUE(quillon_test::WriteFileBytes(list, "q1\nftp://A/vesta0/sub model=KV3\n"));
  Options f;
  ASSERT_TRUE(Parse({"download", "p", "--printers-from", list}, f, &e));
  std::vector<std::string> printers;
  EXPECT_FALSE(CollectPrinters(f, printers, e));
  EXPECT_NE(e.find("ftp://A/vesta0/sub"), std::string::npos) << e;
}

TEST(CliExitCodes, ResultClassesAndTheBatchVerdict) {
  EXPECT_EQ(ExitOfResult(0), kExitOk);
  EXPECT_EQ(ExitOfResult(17), kExitSendFailed);
  EXPECT_EQ(ExitOfResult(18), kExitSendFailed);
  EXPECT_EQ(ExitOfResult(32), kExitPrinterOpen);
  EXPECT_EQ(ExitOfResult(33), kExitSendFailed);
  EXPECT_EQ(ExitOfResult(34), kExitSendFailed);
  EXPECT_EQ(ExitOfResult(35), kExitDirectory);
  EXPECT_EQ(ExitOfResult(4096), kExitAborted);
  EXPECT_EQ(ExitOfResult(12345), kExitSendFailed);

  EXPECT_EQ(BatchExit({0, 0, 0}), kExitOk);
  EXPECT_EQ(BatchExit({0, kExitDirectory, 0}), kExitPartial);
  EXPECT_EQ(BatchExit({kExitBusy, kExitDirectory}), kExitBusy);  // the first failure
  EXPECT_EQ(BatchExit({0, kExitAborted, kExitSendFailed}), kExitAborted);
  EXPECT_EQ(BatchExit({}), kExitInput);
  // Sent but not recorded is sent: alone or with successes it is its own
  // code, beside a failure a partial success.
  EXPECT_EQ(BatchExit({kExitNotRecorded}), kExitNotRecorded);
  EXPECT_EQ(BatchExit({0, kExitNotRecorded, 0}), kExitNotRecorded);
  EXPECT_EQ(BatchExit({kExitDirectory, kExitNotRecorded}), kExitPartial);
  EXPECT_EQ(BatchExit({kExitNotRecorded, kExitAborted}), kExitAborted);
}

TEST(CliJson, EscapesControlsAndKeepsOnlyValidUtf8) {
  EXPECT_EQ(JsonString("a\"b\\c\nd\r\t\x01"), "\"a\\\"b\\\\c\\nd\\r\\t\\u0001\"");
  // Kana pass through; a stray Shift-JIS byte and a cut sequence do not.
  EXPECT_EQ(JsonString("ﾀﾞｳﾝﾛｰﾄﾞ"), "\"ﾀﾞｳﾝﾛｰﾄﾞ\"");
  EXPECT_EQ(JsonString("\x83\x41x"), "\"\\ufffdAx\"");
  EXPECT_EQ(JsonString("\xE3\x81"), "\"\\ufffd\\ufffd\"");
  EXPECT_EQ(JsonString("\xC0\xAF"), "\"\\ufffd\\ufffd\"");  // overlong "/"
  EXPECT_EQ(JsonLine().Add("a", 1).Add("b", "x").AddNull("c").Add("d", true).Text(),
            "{\"a\":1,\"b\":\"x\",\"c\":null,\"d\":true}");
}

TEST(CliProgressBar, LineFitsTheWidthAndShowsEachRunningPrinter) {
  const std::string one = ProgressBar::Line({{"queue1", 50}}, 40);
  EXPECT_LE(one.size(), 39u);
  EXPECT_NE(one.find("queue1 ["), std::string::npos);
  EXPECT_NE(one.find(" 50%"), std::string::npos);
  EXPECT_EQ(ProgressBar::Line({{"a", 150}}, 40).find("100%") != std::string::npos, true);
  EXPECT_EQ(ProgressBar::Line({{"q1", 10}, {"ftp://h/vesta0", 99}}, 80), "q1 10%  ftp://h/vesta0 99%");
  EXPECT_EQ(ProgressBar::Line({{"q1", 10}, {"q2", 20}}, 7), "q1 10%");
  EXPECT_EQ(ProgressBar::Line({}, 80), "");
}

TEST(PrinterLock, HoldsAgainstASecondTakerUntilReleased) {
  PrinterLock first, second;
  ASSERT_TRUE(first.TryAcquire(PrinterTarget::Of("Queue1")));
  // Another open of the same lock file, even in this process, is refused;
  // the same printer spelt otherwise is the same lock.
  EXPECT_FALSE(second.TryAcquire(PrinterTarget::Of("queue1")));
  EXPECT_TRUE(second.TryAcquire(PrinterTarget::Of("queue2")));
  second.Release();
  EXPECT_FALSE(second.TryAcquire(PrinterTarget::Of("QUEUE1")));
  first.Release();
  EXPECT_TRUE(second.TryAcquire(PrinterTarget::Of("queue1")));

  PrinterLock ftp1, ftp2;
  ASSERT_TRUE(ftp1.TryAcquire(PrinterTarget::Of("ftp://10.0.0.9/vesta0")));
  EXPECT_FALSE(ftp2.TryAcquire(PrinterTarget::Of("ftp://10.0.0.9/other")));
  EXPECT_EQ(PrinterLock::LockPath(PrinterTarget::Of("ftp://10.0.0.9/a")),
            PrinterLock::LockPath(PrinterTarget::Of("ftp://10.0.0.9/b")));
  EXPECT_NE(PrinterLock::LockPath(PrinterTarget::Of("q1")), PrinterLock::LockPath(PrinterTarget::Of("q2")));
  // In the lock folder, not named after the printer.
  EXPECT_EQ(PrinterLock::LockPath(PrinterTarget::Of("q1")).rfind(std::string(getenv("QUILLON_LOCK_DIR")) + "/printer-", 0), 0u);
}

TEST(PrinterLock, EverySpellingOfOnePrinterIsOneLock) {
  // The default port, letter case, a trailing slash and IPv6 spellings
  // name one printer: two uploads must never reach it at once.
  PrinterLock held;
  ASSERT_TRUE(held.TryAcquire(PrinterTarget::Of("ftp://H/vesta0")));
  for (const char* same : {"ftp://h:21/vesta0", "FTP://H:21/vesta0/", "ftp://h", "ftp://h/other"}) {
    PrinterLock other;
    EXPECT_FALSE(other.TryAcquire(PrinterTarget::Of(same))) << same;
  }
  PrinterLock v6, v6again, otherPort;
  ASSERT_TRUE(v6.TryAcquire(PrinterTarget::Of("ftp://[::1]/vesta0")));
  EXPECT_FALSE(v6again.TryAcquire(PrinterTarget::Of("ftp://[0:0:0::1]:21/vesta0")));
  EXPECT_TRUE(otherPort.TryAcquire(PrinterTarget::Of("ftp://[::1]:2121/vesta0")));

  // The lock file is the one an earlier version took for the same address
  // (the hash of "ftp://" + host), so a copy still running keeps it apart.
  const QByteArray old = QCryptographicHash::hash("ftp://10.0.0.9", QCryptographicHash::Sha256).toHex();
  EXPECT_EQ(PrinterLock::LockPath(PrinterTarget::Of("ftp://10.0.0.9:21/vesta0")),
            PrinterLock::LockFolder() + "/printer-" + old.toStdString() + ".lock");

  // A value that names no printer locks nothing.
  PrinterLock none;
  EXPECT_EQ(none.Acquire(PrinterTarget()), PrinterLock::Outcome::Failed);
}

}  // namespace

// The help table is the one source of --help, help COMMAND and the manual.
TEST(CliHelp, EveryCommandAndOptionTheParserTakesIsDescribedAndNoMore) {
  for (const CommandDoc& doc : CommandDocs()) {
    EXPECT_TRUE(IsCommand(doc.name)) << doc.name;
    std::vector<std::string> described;
    for (const OptionDoc& o : doc.options) described.push_back(LongName(o));
    std::vector<std::string> accepted = AcceptedOptions(doc.name);
    std::sort(described.begin(), described.end());
    std::sort(accepted.begin(), accepted.end());
    EXPECT_EQ(described, accepted) << doc.name;
  }
  for (const char* name : {"info", "printers", "query", "job", "download", "help"})
    EXPECT_NE(FindCommandDoc(name), nullptr) << name;
}

TEST(CliHelp, TheManualSaysWhatTheHelpSays) {
  cli::SetJapaneseRun(false);  // the English table
  const std::string man = CliManPage();
  auto roff = [](std::string s) {
    std::string out;
    for (char c : s) out += c == '-' ? std::string("\\-") : std::string(1, c);
    return out;
  };
  for (const CommandDoc& doc : CommandDocs()) {
    EXPECT_NE(man.find(".SS " + roff(doc.name)), std::string::npos) << doc.name;
    EXPECT_NE(man.find(roff(Synopsis(doc))), std::string::npos) << doc.name;
    for (const OptionDoc& o : doc.options) {
      EXPECT_NE(man.find("\\fB" + roff(o.flags) + "\\fR"), std::string::npos) << o.flags;
      EXPECT_NE(man.find(roff(o.text)), std::string::npos) << o.flags;
      // and the command's own help lists the same option
      EXPECT_NE(CommandHelp(doc).find(o.flags), std::string::npos) << o.flags;
    }
  }
  for (const ExitDoc& e : ExitCodeDocs()) {
    EXPECT_NE(man.find(".B " + std::to_string(e.code) + "\n" + roff(e.text)), std::string::npos);
    EXPECT_NE(GlobalHelp().find(e.text), std::string::npos);
  }
  // Every line of the help fits a terminal of 80 columns.
  std::istringstream lines(GlobalHelp() + CommandHelp(*FindCommandDoc("download")));
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
}

TEST(CliArguments, HelpOfACommandAndTheVerbosityOptions) {
  cli::SetJapaneseRun(false);  // the English table
  Options o;
  std::string e;
  ASSERT_TRUE(Parse({"help", "download"}, o, &e));
  EXPECT_TRUE(o.help);
  EXPECT_EQ(o.command, "download");
  ASSERT_TRUE(Parse({"job", "--help"}, o, &e));  // no package needed for the help
  EXPECT_TRUE(o.help);
  EXPECT_EQ(o.command, "job");
  ASSERT_TRUE(Parse({"help"}, o, &e));
  EXPECT_TRUE(o.help);
  EXPECT_EQ(o.command, "");
  EXPECT_FALSE(Parse({"help", "upload"}, o, &e));
  EXPECT_NE(e.find("unknown command upload"), std::string::npos);
  ASSERT_TRUE(Parse({"info", "-v", "a"}, o, &e));
  EXPECT_TRUE(o.verbose);
  ASSERT_TRUE(Parse({"-v", "info", "a", "--quiet"}, o, &e));  // the later one wins
  EXPECT_TRUE(o.quiet);
  EXPECT_FALSE(o.verbose);
  // After an error, the command is known for the hint.
  EXPECT_FALSE(Parse({"download", "a", "--bogus"}, o, &e));
  EXPECT_EQ(UsageHint(o.command), "Try 'quillon-cli download --help'.");
  EXPECT_EQ(UsageHint(""), "Try 'quillon-cli --help'.");
}

TEST(CliProgress, VerboseWritesALinePerTenthWithoutATerminalAndQuietNothing) {
  SetVerbosity(Verbosity::Quiet);
  EXPECT_FALSE(ProgressBar(true).Enabled());
  SetVerbosity(Verbosity::Normal);
  EXPECT_TRUE(ProgressBar(true).Enabled());
  SetVerbosity(Verbosity::Verbose);
  testing::internal::CaptureStderr();
  {
    ProgressBar lines(false);
    for (int p : {0, 5, 12, 19, 35, 100}) lines.Draw({{"q1", p}});
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "q1 10%\nq1 30%\nq1 100%\n");
  SetVerbosity(Verbosity::Normal);
}
namespace {

quillon::BoxQuestion Question(int messageId, int style = 0x4121) {
  quillon::BoxQuestion q;
  q.text = "?";
  q.style = style;
  q.messageId = messageId;
  return q;
}

TEST(CliAnswers, YesTakesTheRoutineQuestionsOnlyAndForceTheRiskyOnesToo) {
  // No terminal in the test: standard input is not one.
  TerminalAnswerer yes(true, false, -1);
  EXPECT_EQ(yes.Answer(Question(4193, 0x4041)).button, quillon::IDOK);
  quillon::BoxQuestion start = Question(4101);
  start.kind = quillon::BoxQuestion::Kind::Dialog;
  EXPECT_EQ(yes.Answer(start).button, quillon::IDOK);
  for (const int risky : {4103, 4104, 4105, 4106, 4107}) {
    SCOPED_TRACE(risky);
    EXPECT_NE(quillon::ClassifyQuestion(risky), quillon::QuestionKind::Routine);
    EXPECT_EQ(yes.Answer(Question(risky)).button, quillon::IDCANCEL);
  }
  EXPECT_FALSE(yes.RefusedUnanswerable());
  EXPECT_FALSE(yes.MayAcceptRisk());

  TerminalAnswerer force(false, true, -1);
  EXPECT_EQ(force.Answer(Question(4103)).button, quillon::IDOK);
  EXPECT_EQ(force.Answer(Question(4193, 0x4041)).button, quillon::IDOK);
  EXPECT_TRUE(force.MayAcceptRisk());

  // Nobody to ask and neither option: a routine question is refused as
  // unanswerable, a risky one as a risk.
  TerminalAnswerer none(false, false, -1);
  EXPECT_EQ(none.Answer(Question(4193, 0x4041)).button, quillon::IDCANCEL);
  EXPECT_TRUE(none.RefusedUnanswerable());
  EXPECT_EQ(none.Answer(Question(4105)).button, quillon::IDCANCEL);
}

TEST(CliAnswers, EveryRiskHasAReasonForScriptsAndPeople) {
  for (const auto kind : {quillon::QuestionKind::ModelUnknown, quillon::QuestionKind::NotTarget,
                          quillon::QuestionKind::SeveralPorts, quillon::QuestionKind::NotUpdatable,
                          quillon::QuestionKind::HandMode}) {
    EXPECT_STRNE(quillon::QuestionReason(kind), "");
    EXPECT_STRNE(quillon::QuestionReasonText(kind), "");
  }
  EXPECT_EQ(quillon::ClassifyQuestion(4101), quillon::QuestionKind::Routine);
  EXPECT_EQ(quillon::ClassifyQuestion(0), quillon::QuestionKind::Routine);
}

TEST(CliExitCodes, TheWindowsUnattendedRunSharesTheClasses) {
  EXPECT_EQ(quillon::ExitOfOutcome(DownloadOutcome::MissingInput, 0), kExitInput);
  EXPECT_EQ(quillon::ExitOfOutcome(DownloadOutcome::BadPackage, 0), kExitPackage);
  EXPECT_EQ(quillon::ExitOfOutcome(DownloadOutcome::Declined, 0), kExitDeclined);
  EXPECT_EQ(quillon::ExitOfOutcome(DownloadOutcome::Busy, 32), kExitBusy);
  EXPECT_EQ(quillon::ExitOfOutcome(DownloadOutcome::Ran, 0), kExitOk);
  EXPECT_EQ(quillon::ExitOfOutcome(DownloadOutcome::Ran, 32), kExitPrinterOpen);
  EXPECT_EQ(quillon::ExitOfOutcome(DownloadOutcome::Ran, 35), kExitDirectory);
  EXPECT_EQ(quillon::ExitOfOutcome(DownloadOutcome::Ran, 4096), kExitAborted);
  // A success whose record failed has its own code; a failure keeps its own.
  EXPECT_EQ(quillon::ExitOfOutcome(DownloadOutcome::Ran, 0, false), kExitNotRecorded);
  EXPECT_EQ(quillon::ExitOfOutcome(DownloadOutcome::Ran, 35, false), kExitDirectory);
  EXPECT_EQ(kExitNotRecorded, 14);
}

TEST(CliHistory, SinceTakesADateOrADateAndTime) {
  QDateTime t;
  ASSERT_TRUE(ParseSince("2026-01-31", t));
  EXPECT_EQ(t, QDateTime(QDate(2026, 1, 31), QTime(0, 0)));
  ASSERT_TRUE(ParseSince("2026-01-31 08:15", t));
  EXPECT_EQ(t, QDateTime(QDate(2026, 1, 31), QTime(8, 15)));
  ASSERT_TRUE(ParseSince("2026-01-31T08:15:30Z", t));
  EXPECT_EQ(t.toUTC().time(), QTime(8, 15, 30));
  EXPECT_FALSE(ParseSince("yesterday", t));
  EXPECT_FALSE(ParseSince("2026-13-01", t));
  Options o;
  ASSERT_TRUE(Parse({"history", "--printer", "q1", "--since", "2026-01-31", "--json"}, o));
  EXPECT_EQ(o.since, "2026-01-31");
  EXPECT_FALSE(Parse({"history", "--printer", "a", "--printer", "b"}, o));
  EXPECT_FALSE(Parse({"history", "FW.RXF"}, o));
  ASSERT_TRUE(Parse({"download", "FW.RXF", "--printer", "p", "--force", "--init-items", "none"}, o));
  EXPECT_TRUE(o.force);
  EXPECT_EQ(o.initItems, 0);
  EXPECT_FALSE(Parse({"download", "FW.RXF", "--printer", "p", "--init-items", "all"}, o));
}

}  // namespace
