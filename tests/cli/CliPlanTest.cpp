// The plan of a download (--dry-run, --plan-out, --plan), the settings
// memory under --yes, and --resume files that would widen a re-run:
// quillon-cli as a child process against simulated printers.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "core/package/DownDocFile.h"
#include "tests/cli/CliJsonLines.h"
#include "tests/cli/CliProcess.h"
#include "tests/support/CupsTestSupport.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/PrinterSimulator.h"
#include "tests/support/TestEnv.h"

using namespace quillon_test;
using namespace package_test;

namespace {

const char kModel[] = "HALVORN CORVIA KV3";  // a target of the package, command flag 1

std::string Printer(const std::string& model, const std::string& version,
                    const std::string& extra = {}) {
  return "{\"model\": \"" + model + "\", \"version\": \"" + version + "\"" + extra + "}";
}

std::vector<std::string> TextLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(text.substr(start, nl - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// The history's rows of a printer.
std::size_t HistoryRows(const std::string& printer) {
  const CliResult h = RunCli({"history", "--json", "--printer", printer});
  return Lines(h.out).size();
}

std::string DownloadLog() { return ReadFileBytes(TDownDocFile::DefaultIconFolder() + "DownLoad.log"); }

// quillon-cli with a terminal on standard input and error (standard
// output to a file): every question gets its default (an empty line).
struct PtyRun {
  int exitCode = -1;
  std::string terminal;  // what it wrote to the terminal
  std::string out;
  int prompts = 0;
};

PtyRun RunAtTerminal(const std::vector<std::string>& args, const std::string& outFile) {
  PtyRun run;
  std::vector<std::string> argv = {QUILLON_CLI};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (std::string& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return run;
  if (pid == 0) {
    const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, 1);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("QT_QPA_PLATFORM");
    ::execv(cargv[0], cargv.data());
    ::_exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  std::size_t answered = 0;  // prompts up to here have had their answer
  for (;;) {
    pollfd p{master, POLLIN, 0};
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      break;
    }
    if (::poll(&p, 1, 200) <= 0) continue;
    char buf[4096];
    const ssize_t n = ::read(master, buf, sizeof buf);
    if (n <= 0) break;  // the child closed the terminal
    run.terminal.append(buf, static_cast<std::size_t>(n));
    for (const char* prompt : {"[Y/n] ", "[y/N] "}) {
      for (std::size_t at = run.terminal.find(prompt, answered); at != std::string::npos;
           at = run.terminal.find(prompt, answered)) {
        answered = at + 1;
        ++run.prompts;
        if (::write(master, "\n", 1) != 1) break;
      }
    }
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  ::close(master);
  run.out = ReadFileBytes(outFile);
  return run;
}

class CliPlan : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(CupsdDir().empty()) << "the private cupsd fixture did not run";
    dir_ = MakeTestDir("plan");
    package_ = Put(dir_, "FW.RXF",
                   Header({"FileFormat=RXF", "DownLoadDesc=Test firmware", "DownLoadVersion=3.01",
                           "EnableCommand=1", "Reboot=1", "DownLoadPrinter=KV3"}) +
                       '\x1A' + Pattern(50000, 7));
  }
  std::string dir_;
  std::string package_;
};

struct Expected {
  std::string plan, model, before, initItems, reason, text;
};

}  // namespace

TEST_F(CliPlan, TheDryRunOfAMixedFleetIsExactAndSendsAndRecordsNothing) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  // Needs init items / current / another model / a console that stays silent.
  PrinterSimulator sim(4, {}, {{0, Printer(kModel, "2.00")},
                               {1, Printer(kModel, "V3.01.0")},
                               {2, Printer("RX-140", "2.00")},
                               {3, Printer(kModel, "2.00", R"(, "console_faults": ["silence"])")}});
  ASSERT_TRUE(sim.Ready());
  const auto& a = sim.Addresses();
  const std::string dead = a[0].substr(0, a[0].rfind('.')) + ".99";  // nothing listens
  const std::vector<std::string> printers = {Ftp(a[0]), Ftp(a[1]), Ftp(a[2]), Ftp(a[3]), Ftp(dead)};
  std::string list;
  for (const std::string& p : printers) list += p + "\n";
  ASSERT_TRUE(WriteFileBytes(dir_ + "/printers.txt", list));
  const std::string logBefore = DownloadLog();

  const std::vector<Expected> withoutItems = {
      {"refused", kModel, "2.00", "1", "init_items_needed", Ftp(a[0]) + ": refused (init_items_needed): "},
      {"skip", kModel, "V3.01.0", "null", "null", Ftp(a[1]) + ": skip: version V3.01.0 is the package's"},
      {"refused", "RX-140", "2.00", "null", "not_target", Ftp(a[2]) + ": refused (not_target): "},
      {"unreachable", "null", "null", "null", "no_answer", Ftp(a[3]) + ": unreachable (no_answer): "},
      {"unreachable", "null", "null", "null", "no_answer", Ftp(dead) + ": unreachable (no_answer): "},
  };
  std::vector<Expected> withItems = withoutItems;
  withItems[0] = {"send", kModel, "2.00", "0", "null",
                  Ftp(a[0]) + ": send: version 2.00 -> 3.01, settings memory kept "
                              "(initialisation items 0)"};
  struct Run {
    std::vector<std::string> extra;
    const std::vector<Expected>* expected;
  } runs[] = {{{}, &withoutItems}, {{"--init-items", "none"}, &withItems}};
  for (const Run& run : runs) {
    SCOPED_TRACE(run.extra.empty() ? "no --init-items" : "--init-items none");
    std::vector<std::string> args = {"download", package_, "--printers-from", dir_ + "/printers.txt",
                                     "--dry-run", "--skip-current", "--jobs", "5"};
    args.insert(args.end(), run.extra.begin(), run.extra.end());
    const CliResult text = RunCli(args);
    args.push_back("--json");
    const CliResult json = RunCli(args);
    // Refused ones come before the unreachable ones in the exit status.
    EXPECT_EQ(text.exitCode, 12) << text.err;
    EXPECT_EQ(json.exitCode, 12) << json.err;
    const auto textLines = TextLines(text.out);
    const auto jsonLines = Lines(json.out);
    ASSERT_EQ(textLines.size(), printers.size()) << text.out;
    ASSERT_EQ(jsonLines.size(), printers.size()) << json.out;
    for (std::size_t i = 0; i < printers.size(); ++i) {
      const Expected& e = (*run.expected)[i];
      SCOPED_TRACE(printers[i]);
      // In the printers' order, each line as it is to be.
      if (e.plan == "send" || e.plan == "skip")
        EXPECT_EQ(textLines[i], e.text);
      else
        EXPECT_EQ(textLines[i].rfind(e.text, 0), 0u) << textLines[i];
      const QJsonObject o = Object(jsonLines[i]);
      EXPECT_EQ(Str(o, "printer"), printers[i]);
      EXPECT_EQ(Str(o, "plan"), e.plan);
      EXPECT_EQ(Str(o, "model"), e.model);
      EXPECT_EQ(Str(o, "version_before"), e.before);
      EXPECT_EQ(Str(o, "version_package"), "3.01");
      EXPECT_EQ(Str(o, "init_items"), e.initItems);
      EXPECT_EQ(Str(o, "reason"), e.reason);
      EXPECT_TRUE(o.contains("detail"));
    }
  }
  // Nothing sent, nothing recorded.
  EXPECT_TRUE(sim.Reports(0).empty());
  for (const std::string& p : printers) EXPECT_EQ(HistoryRows(p), 0u) << p;
  EXPECT_EQ(DownloadLog(), logBefore);
}

TEST_F(CliPlan, APlanIsAppliedToItsSendPrintersOnlyAndRefusedWhenThePackageChanged) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  PrinterSimulator sim(3, {}, {{0, Printer(kModel, "2.00")},
                               {1, Printer(kModel, "3.01")},
                               {2, Printer("RX-140", "2.00")}});
  ASSERT_TRUE(sim.Ready());
  const auto& a = sim.Addresses();
  const std::string planFile = dir_ + "/plan.json";
  const CliResult dry = RunCli({"download", package_, "--printer", Ftp(a[0]), "--printer",
                                Ftp(a[1]), "--printer", Ftp(a[2]), "--dry-run", "--skip-current",
                                "--init-items", "none", "--jobs", "3", "--plan-out", planFile});
  EXPECT_EQ(dry.exitCode, 12) << dry.err;
  const QJsonObject plan = QJsonDocument::fromJson(QByteArray::fromStdString(ReadFileBytes(planFile))).object();
  const QJsonObject pkg = plan.value("package").toObject();
  EXPECT_EQ(Str(pkg, "path").front(), '/');
  EXPECT_EQ(Str(pkg, "sha256").size(), 64u);
  const QJsonArray planned = plan.value("printers").toArray();
  ASSERT_EQ(planned.size(), 3);
  const QJsonObject id = planned[0].toObject().value("identity").toObject();
  EXPECT_EQ(Str(id, "address"), Ftp(a[0]));
  EXPECT_EQ(Str(id, "model"), kModel);
  EXPECT_EQ(Str(id, "version"), "2.00");
  EXPECT_TRUE(id.contains("serial"));
  EXPECT_EQ(Str(id, "serial"), "null");
  EXPECT_TRUE(sim.Reports(0).empty());

  // Applied: only the planned send, with the plan's items.
  CliResult r = RunCli({"download", "--plan", planFile, "--json"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 1u) << r.out;
  EXPECT_EQ(Str(Object(lines[0]), "printer"), Ftp(a[0]));
  EXPECT_EQ(Str(Object(lines[0]), "outcome"), "succeeded");
  EXPECT_EQ(Str(Object(lines[0]), "init_items"), "0");
  EXPECT_EQ(JobsAt(sim, a[0]).size(), 1u);
  EXPECT_TRUE(JobsAt(sim, a[1]).empty());
  EXPECT_TRUE(JobsAt(sim, a[2]).empty());

  // The package's bytes changed after the plan: the whole plan is refused.
  std::string bytes = ReadFileBytes(package_);
  bytes.back() ^= 1;
  ASSERT_TRUE(WriteFileBytes(package_, bytes));
  r = RunCli({"download", "--plan", planFile, "--json"});
  EXPECT_EQ(r.exitCode, 12) << r.err;
  for (const std::string& l : Lines(r.out)) EXPECT_EQ(Str(Object(l), "reason"), "package_changed");
  EXPECT_NE(r.err.find("changed since the plan"), std::string::npos) << r.err;
  EXPECT_EQ(sim.Reports(0).size(), 1u);

  // A plan is applied as made: no option that would change it.
  r = RunCli({"download", "--plan", planFile, "--force"});
  EXPECT_EQ(r.exitCode, 2);
  r = RunCli({"download", "--plan", dir_ + "/missing.json"});
  EXPECT_EQ(r.exitCode, 2);
  r = RunCli({"download", "--plan", planFile, "--printer", Ftp(a[1])});
  EXPECT_EQ(r.exitCode, 2);
  ASSERT_TRUE(WriteFileBytes(dir_ + "/not-a-plan.json", "{\"printers\": []}"));
  r = RunCli({"download", "--plan", dir_ + "/not-a-plan.json"});
  EXPECT_EQ(r.exitCode, 2);
  // A plan is written by a dry run only.
  r = RunCli({"download", package_, "--printer", Ftp(a[0]), "--yes", "--plan-out", planFile});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(sim.Reports(0).size(), 1u);
}

TEST_F(CliPlan, APrinterWhoseModelChangedSinceThePlanIsRefused) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  auto sim = std::make_unique<PrinterSimulator>(
      std::vector<std::string>{"--model-name", kModel, "--version", "2.00"});
  ASSERT_TRUE(sim->Ready());
  const std::string address = sim->Address();
  const std::string planFile = dir_ + "/plan.json";
  const CliResult dry = RunCli({"download", package_, "--printer", Ftp(address), "--dry-run",
                                "--init-items", "1", "--json", "--plan-out", planFile});
  EXPECT_EQ(dry.exitCode, 0) << dry.err;
  EXPECT_EQ(Str(Object(Lines(dry.out).at(0)), "plan"), "send");
  // DHCP gave the address to another printer.
  sim.reset();
  PrinterSimulator other(address, {"--model-name", "HALVORN CORVIA KV3-B", "--version", "2.00"}, 10);
  ASSERT_TRUE(other.Ready());
  const CliResult r = RunCli({"download", "--plan", planFile, "--json"});
  EXPECT_EQ(r.exitCode, 12) << r.err;
  const QJsonObject line = Object(Lines(r.out).at(0));
  EXPECT_EQ(Str(line, "outcome"), "refused");
  EXPECT_EQ(Str(line, "reason"), "identity_changed");
  EXPECT_NE(Str(line, "message").find("KV3-B"), std::string::npos) << Str(line, "message");
  EXPECT_TRUE(other.Reports(0).empty());
}

TEST_F(CliPlan, UnattendedASettingsResetNeedsInitItemsGivenExplicitly) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  PrinterSimulator sim({"--model-name", kModel, "--version", "2.00"});
  ASSERT_TRUE(sim.Ready());
  CliResult r = RunCli({"download", package_, "--printer", Ftp(sim.Address()), "--yes", "--json"});
  EXPECT_EQ(r.exitCode, 12) << r.err;
  QJsonObject line = Object(Lines(r.out).at(0));
  EXPECT_EQ(Str(line, "outcome"), "refused");
  EXPECT_EQ(Str(line, "reason"), "init_items_needed");
  EXPECT_TRUE(sim.Reports(0).empty());
  EXPECT_EQ(HistoryRows(Ftp(sim.Address())), 0u);
  // --force accepts risks, not a reset nobody chose.
  r = RunCli({"download", package_, "--printer", Ftp(sim.Address()), "--force", "--json"});
  EXPECT_EQ(r.exitCode, 12) << r.err;
  EXPECT_TRUE(sim.Reports(0).empty());
  // Chosen, it is sent: items given, or none.
  for (const char* items : {"1", "none"}) {
    r = RunCli({"download", package_, "--printer", Ftp(sim.Address()), "--yes", "--json",
                "--init-items", items});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Str(Object(Lines(r.out).at(0)), "init_items"), items == std::string("1") ? "1" : "0");
  }
  EXPECT_EQ(sim.Reports(2).size(), 2u);
}

TEST_F(CliPlan, AResumeFileThatWouldWidenTheRunIsAnInputError) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  PrinterSimulator sim(2, {"--model-name", kModel, "--version", "2.00"});
  ASSERT_TRUE(sim.Ready());
  const auto& a = sim.Addresses();
  const std::vector<std::string> base = {"download", package_, "--printer", Ftp(a[0]), "--printer",
                                         Ftp(a[1]), "--yes", "--init-items", "none", "--json"};
  const auto withResume = [&](const std::string& file) {
    std::vector<std::string> args = base;
    args.insert(args.end(), {"--resume", file});
    return args;
  };
  ASSERT_TRUE(WriteFileBytes(dir_ + "/empty.jsonl", ""));
  ASSERT_TRUE(WriteFileBytes(dir_ + "/other.jsonl",
                             R"({"printer":"ftp://10.9.9.9/vesta0","exit":0,"outcome":"succeeded"})"
                             "\n"));
  for (const std::string& f : {dir_ + "/empty.jsonl", dir_ + "/other.jsonl", dir_ + "/none.jsonl"}) {
    SCOPED_TRACE(f);
    const CliResult r = RunCli(withResume(f));
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_TRUE(sim.Reports(0).empty());

  // The output goes to the resume file itself (appended, so not emptied:
  // only its being the output refuses it).
  const std::string same = dir_ + "/same.jsonl";
  ASSERT_TRUE(WriteFileBytes(same, "{\"printer\":\"" + Ftp(a[0]) + "\",\"exit\":0}\n"));
  std::string command = std::string("'") + QUILLON_CLI + "'";
  for (const std::string& arg : withResume(same)) command += " '" + arg + "'";
  command += " >> '" + same + "' 2> '" + dir_ + "/same.err'";
  EXPECT_EQ(RunCommand(command), 2) << ReadFileBytes(dir_ + "/same.err");
  EXPECT_NE(ReadFileBytes(dir_ + "/same.err").find("the output goes to"), std::string::npos);
  EXPECT_TRUE(sim.Reports(0).empty());

  // A file naming one of them resumes the other only.
  const CliResult r = RunCli(withResume(same));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(JobsAt(sim, a[1]).size(), 1u);
  EXPECT_TRUE(JobsAt(sim, a[0]).empty());
}

TEST_F(CliPlan, AtATerminalTheDefaultKeepsTheSettingsAndGivenItemsAreNotAskedAgain) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  PrinterSimulator sim(2, {"--model-name", kModel, "--version", "2.00"});
  ASSERT_TRUE(sim.Ready());
  const auto& a = sim.Addresses();
  const std::string out = dir_ + "/out.jsonl";
  // Every answer the default: both printers keep their settings (the first
  // answer is no default for the next either).
  PtyRun r = RunAtTerminal({"download", package_, "--printer", Ftp(a[0]), "--printer", Ftp(a[1]),
                            "--json"},
                           out);
  EXPECT_EQ(r.exitCode, 0) << r.terminal;
  ASSERT_EQ(Lines(r.out).size(), 2u) << r.out << r.terminal;
  for (const std::string& l : Lines(r.out)) EXPECT_EQ(Str(Object(l), "init_items"), "0") << l;
  EXPECT_NE(r.terminal.find("? [y/N] "), std::string::npos) << r.terminal;
  const int perPrinter = r.prompts / 2;
  // Given, the items are the answer: the initialisation is not asked.
  r = RunAtTerminal({"download", package_, "--printer", Ftp(a[0]), "--init-items", "6", "--json"},
                    out);
  EXPECT_EQ(r.exitCode, 0) << r.terminal;
  EXPECT_EQ(Str(Object(Lines(r.out).at(0)), "init_items"), "6");
  EXPECT_EQ(r.prompts, perPrinter - 1) << r.terminal;
  EXPECT_NE(r.terminal.find("(--init-items)"), std::string::npos) << r.terminal;
  EXPECT_EQ(sim.Reports(3).size(), 3u);
}
