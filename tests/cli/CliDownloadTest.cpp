// quillon-cli end to end: a child process without any display, against
// the private cupsd and the printer simulator.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/app/PrinterLock.h"
#include "core/history/DownloadHistory.h"
#include "core/package/DownDocFile.h"
#include "resources/StringTable.h"
#include "tests/cli/CliProcess.h"
#include "tests/cli/CliRecords.h"
#include "tests/support/TestEnv.h"
#include "tests/support/DownloadSupport.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/PrinterSimulator.h"
#include "tests/support/CupsTestSupport.h"
#include "tests/support/WaitUntil.h"

using quillon::LoadStr;
using quillon::PrinterLock;
using quillon::PrinterTarget;

using namespace quillon_test;
using namespace package_test;

namespace {

const char kModel[] = "HALVORN CORVIA KV3";  // command flag 1, a target of the package
const char kDone[] = "ﾀﾞｳﾝﾛｰﾄﾞが終了しました。";
const char kDoneEnglish[] = "The download has finished.";
const char kDirectoryFailed[] = "ﾃﾞｨﾚｸﾄﾘの変更に失敗しました。";

// A value of a JSON line as text: strings without their quotes, numbers
// and null as written; "" when the line is no JSON object or lacks the key.
std::string Field(const std::string& line, const char* key) {
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line));
  if (!doc.isObject() || !doc.object().contains(QLatin1String(key))) return {};
  const QJsonValue v = doc.object().value(QLatin1String(key));
  if (v.isString()) return v.toString().toStdString();
  if (v.isNull()) return "null";
  if (v.isBool()) return v.toBool() ? "true" : "false";
  if (v.isDouble()) {
    const double d = v.toDouble();
    return d == static_cast<double>(static_cast<long long>(d)) ? std::to_string(static_cast<long long>(d))
                                                             : std::to_string(d);
  }
  return "?";
}

// The JSON line of a printer, "" when there is none.
std::string LineOf(const std::vector<std::string>& lines, const std::string& printer) {
  for (const std::string& l : lines) {
    if (Field(l, "printer") == printer) return l;
  }
  return {};
}

class CliDownload : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(CupsdDir().empty()) << "the private cupsd fixture did not run";
    data_ = Pattern(120000, 41);
    package_ = Put(MakeTestDir("pkg"), "FW.RXF",
                   Header({"FileFormat=RXF", "DownLoadDesc=Test firmware", "DownLoadVersion=3.01",
                           "EnableCommand=1", "Reboot=1", "DownLoadPrinter=KV3",
                           "DoneMessage=Switch the printer off and on."}) +
                       '\x1A' + data_);
  }
  void TearDown() override {
    for (const std::string& q : queues_) DeleteQueue(q);
    EXPECT_EQ(JobFilesLeft(), 0) << "job file left behind";
  }

  std::string Queue(const std::string& name, const std::string& uri) {
    EXPECT_TRUE(AddQueue(name, uri, kModel));
    queues_.push_back(name);
    return name;
  }
  static std::string RawUri(const PrinterSimulator& sim) {
    return "socket://" + sim.Address() + ":9100/?snmp=false";
  }
  static std::string Ftp(const PrinterSimulator& sim) { return "ftp://" + sim.Address() + "/vesta0"; }

  static std::vector<std::pair<std::string, std::string>> LogEntries() { return DownloadLogEntries(); }
  static std::vector<quillon::HistoryEntry> History() { return HistoryEntries(); }

  std::string data_;
  std::string package_;
  std::vector<std::string> queues_;
};

TEST_F(CliDownload, BothRoutesSucceedWithOneJsonLineEachAndALogLine) {
  PrinterSimulator sim({"--model-name", kModel});
  ASSERT_TRUE(sim.Ready());
  const std::string queue = Queue("qc_ok", RawUri(sim));
  const CliResult r = RunCli({"download", package_, "--printer", Ftp(sim), "--printer", queue,
                              "--yes", "--init-items", "1", "--json"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 2u) << r.out;
  const std::string wrapped = WrappedStream(data_, 1);
  for (const std::string& line : lines) {
    EXPECT_EQ(line.front(), '{');
    EXPECT_EQ(Field(line, "package"), package_);
    EXPECT_EQ(Field(line, "result"), "0");
    EXPECT_EQ(Field(line, "exit"), "0");
    EXPECT_EQ(Field(line, "message"), kDone);
    EXPECT_EQ(Field(line, "bytes"), std::to_string(wrapped.size()));
    EXPECT_FALSE(Field(line, "seconds").empty());
  }
  EXPECT_EQ(Field(LineOf(lines, Ftp(sim)), "route"), "ftp");
  EXPECT_EQ(Field(LineOf(lines, queue), "route"), "spooler");

  // The confirmations and the closing advice went to the error stream.
  EXPECT_NE(r.err.find("--yes"), std::string::npos);
  EXPECT_NE(r.err.find("Switch the printer off and on."), std::string::npos);

  const auto reports = sim.Reports(2);
  ASSERT_EQ(reports.size(), 2u);
  for (const std::string& report : reports) EXPECT_EQ(ReceivedJob(report), wrapped);

  const auto entries = LogEntries();
  ASSERT_EQ(entries.size(), 2u);
  for (const auto& [key, value] : entries) {
    EXPECT_EQ(key.rfind(package_ + ",Test firmware 3.01", 0), 0u) << key;
    EXPECT_TRUE(value == Ftp(sim) + "," + Ftp(sim) || value.rfind(queue + ",", 0) == 0) << value;
  }
}

TEST_F(CliDownload, MalformedFtpAddressIsAnInputErrorWithItsReasonAndNothingIsSent) {
  PrinterSimulator sim;
  ASSERT_TRUE(sim.Ready());
  for (const std::string& bad : {std::string("ftp://[::1/vesta0"), "ftp://user@" + sim.Address() + "/vesta0",
                                "ftp://" + sim.Address() + ":0/vesta0"}) {
    SCOPED_TRACE(bad);
    const CliResult r = RunCli({"download", package_, "--printer", Ftp(sim), "--printer", bad,
                                "--yes", "--init-items", "1", "--json"});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.err.find(bad), std::string::npos) << r.err;
  }
  EXPECT_TRUE(sim.Reports(0).empty());
}

TEST_F(CliDownload, DryRunWritesTheBytesThePrinterReceives) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  PrinterSimulator sim({"--model-name", kModel});
  ASSERT_TRUE(sim.Ready());
  const std::string dir = MakeTestDir("job");
  struct Case {
    std::vector<std::string> options;
    std::string expected;
    const char* why;
  } cases[] = {
      {{}, WrappedStream(data_, 1), "wrapped"},
      {{"--init-items", "6"}, WrappedStream(data_, 6), "wrapped"},
      {{"--no-command"}, data_, "not wrapped"},
  };
  std::size_t received = 0;
  for (const Case& c : cases) {
    std::vector<std::string> job = {"job", package_, "--printer", Ftp(sim), "-o", dir + "/job.bin"};
    job.insert(job.end(), c.options.begin(), c.options.end());
    const CliResult dry = RunCli(job);
    ASSERT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_NE(dry.out.find(c.why), std::string::npos) << dry.out;
    const std::string bytes = ReadFileBytes(dir + "/job.bin");
    EXPECT_EQ(bytes, c.expected);

    std::vector<std::string> real = {"download", package_, "--printer", Ftp(sim), "--yes", "--init-items", "1"};
    real.insert(real.end(), c.options.begin(), c.options.end());
    const CliResult r = RunCli(real);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto reports = sim.Reports(++received);
    ASSERT_EQ(reports.size(), received);
    EXPECT_EQ(ReceivedJob(reports.back()), bytes);
  }
}

TEST_F(CliDownload, EachFailureClassHasItsExitCode) {
  PrinterSimulator sim({"--model-name", kModel});
  PrinterSimulator noFolder({"--model-name", kModel, "--ftp-fault", "refuse-cwd"});
  PrinterSimulator noStore({"--model-name", kModel, "--ftp-fault", "store-553"});
  ASSERT_TRUE(sim.Ready() && noFolder.Ready() && noStore.Ready());

  // Input: no such package; no printer at all.
  CliResult r = RunCli({"download", package_ + ".missing", "--printer", Ftp(sim), "--yes", "--init-items", "1", "--json"});
  EXPECT_EQ(r.exitCode, 2);
  ASSERT_EQ(Lines(r.out).size(), 1u);
  EXPECT_EQ(Field(Lines(r.out)[0], "exit"), "2");
  EXPECT_EQ(RunCli({"download", package_}).exitCode, 2);

  // A package without the data mark.
  const std::string bad = Put(MakeTestDir("bad"), "BAD.RXF", Header({"FileFormat=RXF"}) + "no mark");
  r = RunCli({"download", bad, "--printer", Ftp(sim), "--yes", "--init-items", "1", "--json"});
  EXPECT_EQ(r.exitCode, 4);
  EXPECT_EQ(Field(Lines(r.out).at(0), "result"), "19");

  // Questions with nobody to answer them: refused, nothing sent.
  r = RunCli({"download", package_, "--printer", Ftp(sim), "--json"});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_NE(r.err.find("--yes"), std::string::npos);
  EXPECT_EQ(Field(Lines(r.out).at(0), "result"), "null");
  // Answered no on standard input (not a terminal either: still refused).
  EXPECT_EQ(RunCli({"download", package_, "--printer", Ftp(sim)}, "n\n").exitCode, 3);

  // A queue the spooler does not know.
  r = RunCli({"download", package_, "--printer", "qc_nowhere", "--yes", "--init-items", "1", "--json"});
  EXPECT_EQ(r.exitCode, 5);
  EXPECT_EQ(Field(Lines(r.out).at(0), "result"), "32");

  r = RunCli({"download", package_, "--printer", Ftp(noStore), "--yes", "--init-items", "1", "--json"});
  EXPECT_EQ(r.exitCode, 6);
  EXPECT_EQ(Field(Lines(r.out).at(0), "result"), "33");
  // The advice says what the printer refused, with its reply; never to
  // switch it off and on.
  EXPECT_NE(r.err.find(LoadStr(4166) + "\nSTOR "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(": 553 "), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find(LoadStr(4120)), std::string::npos) << r.err;

  r = RunCli({"download", package_, "--printer", Ftp(noFolder), "--yes", "--init-items", "1", "--json"});
  EXPECT_EQ(r.exitCode, 7);
  EXPECT_EQ(Field(Lines(r.out).at(0), "result"), "35");
  EXPECT_EQ(Field(Lines(r.out).at(0), "message"), kDirectoryFailed);

  EXPECT_EQ(sim.Reports().size(), 0u);
  // Nothing was logged, as nothing succeeded.
  EXPECT_EQ(ReadFileBytes(TDownDocFile::DefaultIconFolder() + "DownLoad.log"), "");
}

TEST_F(CliDownload, BatchOfFourWithOneFailingIsAPartialSuccess) {
  PrinterSimulator sim({"--model-name", kModel});
  PrinterSimulator sim2({"--model-name", kModel});
  PrinterSimulator noFolder({"--model-name", kModel, "--ftp-fault", "refuse-cwd"});
  ASSERT_TRUE(sim.Ready() && sim2.Ready() && noFolder.Ready());
  const std::string q1 = Queue("qc_batch1", RawUri(sim));
  const std::string q2 = Queue("qc_batch2", RawUri(sim2));
  const std::string list = MakeTestDir("list") + "/printers.txt";
  ASSERT_TRUE(WriteFileBytes(list, "# the shop floor\n" + q2 + "\n" + Ftp(noFolder) + "\n"));

  const CliResult r = RunCli({"download", package_, "--printer", Ftp(sim), "--printer", q1,
                              "--printers-from", list, "--printer", q1, "--jobs", "2", "--yes", "--init-items", "1",
                              "--json"});
  EXPECT_EQ(r.exitCode, 9) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 4u) << r.out;  // q1 given twice runs once
  for (const std::string& p : {Ftp(sim), q1, q2}) {
    EXPECT_EQ(Field(LineOf(lines, p), "exit"), "0") << p;
  }
  EXPECT_EQ(Field(LineOf(lines, Ftp(noFolder)), "exit"), "7");
  EXPECT_EQ(sim.Reports(2).size(), 2u);
  EXPECT_EQ(sim2.Reports(1).size(), 1u);
}

TEST_F(CliDownload, FourParallelSuccessesLeaveFourLogEntriesAndFourHistoryRows) {
  PrinterSimulator sim({"--model-name", kModel});
  ASSERT_TRUE(sim.Ready());
  std::vector<std::string> args = {"download", package_, "--jobs", "4", "--yes", "--init-items", "1", "--json"};
  std::vector<std::string> queues;
  for (int i = 1; i <= 4; ++i) {
    queues.push_back(Queue("qc_four" + std::to_string(i), RawUri(sim)));
    args.insert(args.end(), {"--printer", queues.back()});
  }
  const CliResult r = RunCli(args);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  for (const std::string& line : Lines(r.out)) EXPECT_EQ(Field(line, "recorded"), "true") << line;
  EXPECT_EQ(sim.Reports(4).size(), 4u);
  const auto entries = LogEntries();
  ASSERT_EQ(entries.size(), 4u);
  std::vector<std::string> logged;
  for (const auto& e : entries) logged.push_back(e.second.substr(0, e.second.find(',')));
  std::sort(logged.begin(), logged.end());
  EXPECT_EQ(logged, queues);

  const auto rows = History();
  ASSERT_EQ(rows.size(), 4u);
  for (const auto& row : rows) {
    EXPECT_EQ(row.result, 0);
    EXPECT_EQ(row.packagePath, package_);
    EXPECT_EQ(row.version, "3.01");
    EXPECT_EQ(row.route, "spooler");
    EXPECT_EQ(row.bytesSent, static_cast<std::int64_t>(WrappedStream(data_, 1).size()));
    EXPECT_EQ(row.initItems, 1);
  }
}

TEST_F(CliDownload, AFailureLeavesOneHistoryRowWithItsCauseAndHistoryReadsIt) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  PrinterSimulator noFolder({"--model-name", kModel, "--ftp-fault", "refuse-cwd"});
  ASSERT_TRUE(noFolder.Ready());
  CliResult r = RunCli({"download", package_, "--printer", Ftp(noFolder), "--yes", "--init-items", "1", "--json"});
  EXPECT_EQ(r.exitCode, 7) << r.err;
  EXPECT_TRUE(LogEntries().empty());
  auto rows = History();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].result, 35);
  EXPECT_EQ(rows[0].printer, Ftp(noFolder));
  EXPECT_EQ(rows[0].route, "ftp");
  EXPECT_FALSE(rows[0].detail.empty());

  r = RunCli({"history", "--json"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Field(lines[0], "printer"), Ftp(noFolder));
  EXPECT_EQ(Field(lines[0], "result"), "35");
  EXPECT_EQ(Field(lines[0], "detail"), rows[0].detail);
  EXPECT_EQ(Field(lines[0], "package"), package_);
  EXPECT_EQ(Field(lines[0], "outcome"), "null");

  EXPECT_TRUE(Lines(RunCli({"history", "--json", "--printer", "other"}).out).empty());
  EXPECT_TRUE(Lines(RunCli({"history", "--json", "--since", "2999-01-01"}).out).empty());
  EXPECT_EQ(Lines(RunCli({"history", "--json", "--since", "2000-01-01T00:00"}).out).size(), 1u);
  r = RunCli({"history", "--since", "yesterday"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("--since"), std::string::npos) << r.err;
  r = RunCli({"history"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.rfind("TIME\tPRINTER", 0), 0u) << r.out;
  EXPECT_NE(r.out.find(Ftp(noFolder) + "\tftp\t35\t"), std::string::npos) << r.out;
}

TEST_F(CliDownload, ACorruptHistoryNeverStopsTheDownloadAndTheLineSaysSo) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  PrinterSimulator sim({"--model-name", kModel});
  ASSERT_TRUE(sim.Ready());
  const std::string db = quillon::DownloadHistory().Path();
  std::filesystem::create_directories(std::filesystem::path(db).parent_path());
  ASSERT_TRUE(WriteFileBytes(db, std::string(4096, 'x')));
  const CliResult r = RunCli({"download", package_, "--printer", Ftp(sim), "--yes", "--init-items", "1", "--json"});
  // Sent but not recorded: its own exit code.
  EXPECT_EQ(r.exitCode, 14) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Field(lines[0], "recorded"), "false");
  EXPECT_NE(Field(lines[0], "record_error").find("not a database"), std::string::npos) << lines[0];
  EXPECT_NE(r.err.find("record was not written"), std::string::npos) << r.err;
  EXPECT_EQ(sim.Reports(1).size(), 1u);
  EXPECT_EQ(LogEntries().size(), 1u);
  EXPECT_EQ(ReadFileBytes(db), std::string(4096, 'x'));
  EXPECT_EQ(RunCli({"history"}).exitCode, 2);
}

// The data folder cannot be made (a regular file stands in its way, which
// holds for root too): the printer has the package, the records do not, and
// the exit code says so.
TEST_F(CliDownload, ASendThatCannotBeRecordedExitsWithItsOwnCode) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  PrinterSimulator sim({"--model-name", kModel});
  PrinterSimulator sim2({"--model-name", kModel});
  ASSERT_TRUE(sim.Ready() && sim2.Ready());
  const std::string blocker = MakeTestDir("blocked") + "/file";
  ASSERT_TRUE(WriteFileBytes(blocker, "not a folder"));
  const char* old = std::getenv("XDG_DATA_HOME");
  const std::string saved = old ? old : "";
  ::setenv("XDG_DATA_HOME", (blocker + "/data").c_str(), 1);
  const CliResult r = RunCli({"download", package_, "--printer", Ftp(sim), "--yes", "--init-items", "1", "--json"});
  const CliResult batch = RunCli(
      {"download", package_, "--printer", Ftp(sim), "--printer", Ftp(sim2), "--yes", "--init-items", "1", "--json"});
  if (old)
    ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
  else
    ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(r.exitCode, 14) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Field(lines[0], "outcome"), "succeeded");
  EXPECT_EQ(Field(lines[0], "exit"), "14");
  EXPECT_EQ(Field(lines[0], "recorded"), "false");
  EXPECT_FALSE(Field(lines[0], "record_error").empty()) << lines[0];
  EXPECT_NE(Field(lines[0], "record_error").find(blocker), std::string::npos) << lines[0];
  EXPECT_NE(r.err.find("record was not written"), std::string::npos) << r.err;
  // Every printer of a batch sent to, none recorded: the same code.
  EXPECT_EQ(batch.exitCode, 14) << batch.err;
  EXPECT_EQ(sim.Reports(2).size(), 2u);
  EXPECT_EQ(sim2.Reports(1).size(), 1u);
}

TEST_F(CliDownload, AMismatchedPackageWithYesSendsNothingAndForceSendsIt) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  PrinterSimulator sim({"--model-name", kModel});
  ASSERT_TRUE(sim.Ready());
  // A model that takes the download command, but not one the package is for.
  const std::string kv40 = "qc_kv40";
  ASSERT_TRUE(AddQueue(kv40, RawUri(sim), "HALVORN KV40"));
  queues_.push_back(kv40);

  CliResult r = RunCli({"download", package_, "--printer", kv40, "--yes", "--init-items", "1", "--json"});
  EXPECT_EQ(r.exitCode, 12) << r.err;
  auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Field(lines[0], "outcome"), "refused");
  EXPECT_EQ(Field(lines[0], "reason"), "not_target");
  EXPECT_EQ(Field(lines[0], "result"), "null");
  EXPECT_EQ(Field(lines[0], "bytes"), "0");
  EXPECT_NE(r.err.find("refused, nothing sent"), std::string::npos) << r.err;
  // Said on the line of text too.
  r = RunCli({"download", package_, "--printer", kv40, "--yes", "--init-items", "1"});
  EXPECT_EQ(r.exitCode, 12);
  EXPECT_NE(r.out.find(kv40 + ": refused: the package is not made for the printer's model"),
            std::string::npos)
      << r.out;
  EXPECT_TRUE(sim.Reports(0).empty());
  EXPECT_TRUE(History().empty());

  r = RunCli({"download", package_, "--printer", kv40, "--force", "--init-items", "1", "--json"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Field(Lines(r.out).at(0), "outcome"), "succeeded");
  EXPECT_NE(r.err.find("-> OK (--force)"), std::string::npos) << r.err;
  EXPECT_EQ(sim.Reports(1).size(), 1u);
  EXPECT_EQ(History().size(), 1u);
}

TEST_F(CliDownload, PrintersNotUpdatableOverTheirConnectionOrOfUnknownModelAreRefused) {
  PrinterSimulator sim({"--model-name", kModel});
  PrinterSimulator noConsole({"--console-port", "0"});
  ASSERT_TRUE(sim.Ready() && noConsole.Ready());
  // A package for the RX-140, whose model is put into download mode by hand.
  const std::string rxPackage =
      Put(MakeTestDir("rx"), "RX.RXF",
          Header({"FileFormat=RXF", "EnableCommand=1", "Reboot=1", "DownLoadPrinter=RX-140"}) +
              '\x1A' + data_);
  const std::string rx140 = "qc_rx140", other = "qc_other";
  ASSERT_TRUE(AddQueue(rx140, RawUri(sim), "HALVORN RX-140"));
  ASSERT_TRUE(AddQueue(other, RawUri(sim), "Some Other Printer"));
  queues_.insert(queues_.end(), {rx140, other});

  const CliResult r = RunCli({"download", rxPackage, "--printer", rx140, "--printer", other,
                              "--printer", Ftp(noConsole), "--yes", "--init-items", "1", "--json"});
  EXPECT_EQ(r.exitCode, 12) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(Field(LineOf(lines, rx140), "reason"), "not_updatable");
  EXPECT_EQ(Field(LineOf(lines, other), "reason"), "model_unknown");
  // A console that does not answer is no unknown model but a printer that
  // cannot be reached.
  EXPECT_EQ(Field(LineOf(lines, Ftp(noConsole)), "reason"), "no_answer");
  EXPECT_EQ(Field(LineOf(lines, Ftp(noConsole)), "outcome"), "unreachable");
  for (const std::string& printer : {rx140, other})
    EXPECT_EQ(Field(LineOf(lines, printer), "outcome"), "refused") << printer;
  EXPECT_TRUE(sim.Reports(0).empty());
  EXPECT_TRUE(noConsole.Reports(0).empty());
}

// Nothing listening, a console that accepts and stays silent: the printer
// is unreachable (exit 5) and told what to check, --force sends nothing
// either, and no line advises it.
TEST_F(CliDownload, APrinterThatDoesNotAnswerIsUnreachableAndNothingIsSentEvenWithForce) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  PrinterSimulator silent({"--model-name", kModel, "--console-fault", "silence"});
  ASSERT_TRUE(silent.Ready());
  const std::string nobody = "ftp://" + silent.OtherAddress() + "/vesta0";
  // (A silent console costs its dialogue bound: asked once, with --force.)
  for (const auto& [printer, option] : std::vector<std::pair<std::string, std::string>>{
           {nobody, "--yes"}, {nobody, "--force"}, {Ftp(silent), "--force"}}) {
    {
      SCOPED_TRACE(printer + " " + option);
      const CliResult r = RunCli({"download", package_, "--printer", printer, option, "--json"});
      EXPECT_EQ(r.exitCode, 5) << r.err;
      const auto lines = Lines(r.out);
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_EQ(Field(lines[0], "outcome"), "unreachable");
      EXPECT_EQ(Field(lines[0], "reason"), "no_answer");
      EXPECT_EQ(Field(lines[0], "exit"), "5");
      EXPECT_EQ(Field(lines[0], "bytes"), "0");
      EXPECT_NE(Field(lines[0], "message").find("switched on"), std::string::npos) << lines[0];
      EXPECT_NE(Field(lines[0], "message").find("address"), std::string::npos) << lines[0];
      EXPECT_NE(Field(lines[0], "detail").find("console"), std::string::npos) << lines[0];
      EXPECT_EQ(r.out.find("--force"), std::string::npos) << r.out;
      EXPECT_EQ(r.err.find("--force"), std::string::npos) << r.err;
      EXPECT_NE(r.err.find("unreachable, nothing sent"), std::string::npos) << r.err;
    }
  }
  // The text line says the same.
  const CliResult text = RunCli({"download", package_, "--printer", nobody, "--yes", "--init-items", "1"});
  EXPECT_EQ(text.exitCode, 5);
  EXPECT_NE(text.out.find(nobody + ": unreachable, nothing sent: the printer does not answer"),
            std::string::npos)
      << text.out;
  EXPECT_TRUE(silent.Reports(0).empty());
  EXPECT_TRUE(History().empty());
  EXPECT_TRUE(LogEntries().empty());

  // With the model named, the console is not needed to decide: the printer
  // is sent to, its version said to be unknown.
  const CliResult named = RunCli(
      {"download", package_, "--printer", Ftp(silent), "--model", kModel, "--yes", "--init-items", "1", "--json"});
  EXPECT_EQ(named.exitCode, 0) << named.err;
  EXPECT_EQ(Field(Lines(named.out).at(0), "outcome"), "succeeded");
  EXPECT_NE(named.err.find("version not known"), std::string::npos) << named.err;
  EXPECT_EQ(silent.Reports(1).size(), 1u);
}

TEST_F(CliDownload, WhetherTheSettingsMemoryIsInitialisedIsToldBeforeSending) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  PrinterSimulator sim({"--model-name", kModel});
  ASSERT_TRUE(sim.Ready());
  struct Case {
    std::vector<std::string> options;
    std::string initItems;
    std::string told;
    std::string job;
  } cases[] = {
      {{}, "1", "settings memory: will be initialised, items 1 (printer menu settings)",
       WrappedStream(data_, 1)},
      {{"--init-items", "6"}, "6",
       "settings memory: will be initialised, items 6 (network settings, permission settings)",
       WrappedStream(data_, 6)},
      {{"--init-items", "none"}, "0", "settings memory: kept (initialisation items 0)",
       WrappedStream(data_, 0)},
      {{"--no-command"}, "null", "settings memory: kept (no restart command is sent)", data_},
  };
  std::size_t received = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.initItems);
    std::vector<std::string> args = {"download", package_, "--printer", Ftp(sim), "--yes", "--init-items", "1", "--json"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const CliResult r = RunCli(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Field(Lines(r.out).at(0), "init_items"), c.initItems);
    const std::size_t told = r.err.find(c.told);
    ASSERT_NE(told, std::string::npos) << r.err;
    // Before the transfer's own messages.
    EXPECT_LT(told, r.err.find(kDoneEnglish)) << r.err;
    const auto reports = sim.Reports(++received);
    ASSERT_EQ(reports.size(), received);
    EXPECT_EQ(ReceivedJob(reports.back()), c.job);
  }
}

TEST_F(CliDownload, EachOutcomeIsToldTrulyInTextAndJson) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  PrinterSimulator noFolder({"--model-name", kModel, "--ftp-fault", "refuse-cwd"});
  ASSERT_TRUE(noFolder.Ready());
  CliResult r = RunCli({"download", package_, "--printer", Ftp(noFolder), "--yes", "--init-items", "1", "--json"});
  EXPECT_EQ(r.exitCode, 7);
  const std::string line = Lines(r.out).at(0);
  EXPECT_EQ(Field(line, "outcome"), "failed");
  EXPECT_EQ(Field(line, "step"), "directory");
  EXPECT_FALSE(Field(line, "detail").empty()) << line;
  EXPECT_EQ(Field(line, "text").rfind("failed at directory: ", 0), 0u) << line;
  r = RunCli({"download", package_, "--printer", Ftp(noFolder), "--yes", "--init-items", "1"});
  EXPECT_NE(r.out.find(Ftp(noFolder) + ": failed at directory: "), std::string::npos) << r.out;
}

TEST_F(CliDownload, ExitCodesAgreeAcrossCommandsAndSayWhy) {
  const std::string dir = MakeTestDir("inputs");
  for (const char* command : {"info", "download", "job"}) {
    SCOPED_TRACE(command);
    std::vector<std::string> args = {command, dir + "/missing.RXF"};
    if (std::string(command) != "info") args.insert(args.end(), {"--printer", "p"});
    if (std::string(command) == "download") args.push_back("--yes");
    if (std::string(command) == "job") args.insert(args.end(), {"-o", dir + "/j.bin"});
    CliResult r = RunCli(args);
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.err.find(std::string("missing.RXF: ") + std::strerror(ENOENT)), std::string::npos)
        << r.err;
    args[1] = dir;
    r = RunCli(args);
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.err.find(dir + ": is a directory"), std::string::npos) << r.err;
  }
  // The job file's own folder is missing: a local write failure, not a send.
  const CliResult r = RunCli({"job", package_, "--printer", "p", "--model", kModel, "-o",
                              "/no/such/dir/x.bin"});
  EXPECT_EQ(r.exitCode, 13) << r.err;
  // The run's language words the line; the file and the system's cause are in it.
  EXPECT_NE(r.err.find("/no/such/dir/x.bin"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(std::strerror(ENOENT)), std::string::npos) << r.err;
}

TEST(CliQueryDetail, ARefusedConnectionAndAConsoleOfNoPrinterAreToldApart) {
  PrinterSimulator noConsole({"--console-port", "0"});
  PrinterSimulator odd({"--console-fault", "unknown-prompt"});
  ASSERT_TRUE(noConsole.Ready() && odd.Ready());
  const CliResult refused = RunCli({"query", noConsole.Address(), "--json"});
  const CliResult unknown = RunCli({"query", odd.Address(), "--json"});
  EXPECT_EQ(refused.exitCode, 5);
  EXPECT_EQ(unknown.exitCode, 5);
  const std::string a = Lines(refused.out).at(0), b = Lines(unknown.out).at(0);
  EXPECT_NE(Field(a, "error"), Field(b, "error"));
  EXPECT_NE(Field(a, "message"), Field(b, "message"));
  // The library's cause, whatever it says, is passed on whole.
  ASSERT_NE(a.find("\"detail\":"), std::string::npos) << a;
  EXPECT_NE(refused.err.find(Field(a, "detail")), std::string::npos) << refused.err;
}

class CliBusyPrinter : public CliDownload {
 protected:
  // A queue whose device never answers: the job stays in the queue and
  // the transfer watches it until it is aborted.
  void StartHungTransfer() {
    queue_ = Queue("qc_hung", SocketUri(UnusedPort()));
    first_ = std::make_unique<CliProcess>(
        std::vector<std::string>{"download", package_, "--printer", queue_, "--yes", "--init-items", "1", "--json"});
    WaitUntil([this] { return LastJobId(queue_) != 0; }, 30000, 100);
    job_ = LastJobId(queue_);
    ASSERT_GT(job_, 0) << first_->ErrSoFar();
    ASSERT_TRUE(first_->Running());
  }
  std::string queue_;
  int job_ = 0;
  std::unique_ptr<CliProcess> first_;
};

TEST_F(CliBusyPrinter, SecondTransferToTheSamePrinterIsRefused) {
  StartHungTransfer();
  const CliResult second =
      RunCli({"download", package_, "--printer", "QC_HUNG", "--yes", "--init-items", "1", "--json"});
  EXPECT_EQ(second.exitCode, 10) << second.err;
  EXPECT_EQ(Field(Lines(second.out).at(0), "exit"), "10");
  EXPECT_EQ(LastJobId(queue_), job_) << "a second job reached the queue";
  first_->Signal(SIGINT);
  EXPECT_EQ(first_->Wait(30000).exitCode, 8);
}

TEST_F(CliBusyPrinter, CtrlCCancelsTheJobAndRemovesTheJobFile) {
  StartHungTransfer();
  first_->Signal(SIGINT);
  const CliResult r = first_->Wait(30000);
  EXPECT_EQ(r.exitCode, 8) << r.err;
  ASSERT_EQ(Lines(r.out).size(), 1u);
  EXPECT_EQ(Field(Lines(r.out)[0], "result"), "4096");
  EXPECT_EQ(JobStatusOf(job_), platform::JobStatus::Canceled);
  EXPECT_EQ(JobFilesLeft(), 0);
  // The lock went with the transfer.
  PrinterLock lock;
  EXPECT_TRUE(lock.TryAcquire(PrinterTarget::Of(queue_)));
}

TEST_F(CliBusyPrinter, AfterCtrlCPrintersThatNeverStartedSaySoAndNothingElse) {
  PrinterSimulator sim({"--model-name", kModel});
  ASSERT_TRUE(sim.Ready());
  queue_ = Queue("qc_hung2", SocketUri(UnusedPort()));
  CliProcess cli({"download", package_, "--printer", queue_, "--printer", Ftp(sim), "--jobs", "1",
                  "--yes", "--init-items", "1", "--json"});
  WaitUntil([this] { return LastJobId(queue_) != 0; }, 30000, 100);
  ASSERT_GT(LastJobId(queue_), 0) << cli.ErrSoFar();
  cli.Signal(SIGINT);
  const CliResult r = cli.Wait(30000);
  EXPECT_EQ(r.exitCode, 8) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 2u) << r.out;
  EXPECT_EQ(Field(LineOf(lines, queue_), "outcome"), "aborted");
  EXPECT_EQ(Field(LineOf(lines, queue_), "text"),
            "aborted after " + Field(LineOf(lines, queue_), "bytes") + " bytes");
  EXPECT_EQ(Field(LineOf(lines, Ftp(sim)), "outcome"), "not_started");
  EXPECT_EQ(Field(LineOf(lines, Ftp(sim)), "bytes"), "0");
  // Neither the success message nor the package's done message.
  EXPECT_EQ(r.err.find(kDone), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Switch the printer off and on."), std::string::npos) << r.err;
  EXPECT_TRUE(sim.Reports(0).empty());
}

}  // namespace

namespace {

TEST_F(CliDownload, CtrlCWhileThePrinterKeepsItsAnswerEndsAtOnceAsAborted) {
  // The printer stops at each point and stays there: Ctrl+C comes while
  // the program waits for it (a reply, the greeting, the console), and
  // the program must end within moments, never at the wait's own bound.
  struct Case {
    const char* point;
    bool sent;     // the data went before the point
    bool console;  // the point is in the console dialogue
  };
  for (const Case c : {Case{"STOR-END", true, false}, Case{"STOR", false, false},
                       Case{"GREETING", false, false}, Case{"CONSOLE", false, true},
                       Case{"LOGIN", false, true}}) {
    SCOPED_TRACE(c.point);
    PrinterSimulator sim({"--model-name", kModel, "--hold", c.point});
    ASSERT_TRUE(sim.Ready());
    CliProcess cli({"download", package_, "--printer", Ftp(sim), "--model", kModel, "--yes", "--init-items", "1",
                    "--json"});
    ASSERT_TRUE(sim.WaitHeld(c.point)) << cli.ErrSoFar();
    const auto interrupted = std::chrono::steady_clock::now();
    cli.Signal(SIGINT);
    const CliResult r = cli.Wait(15000);
    const auto took = std::chrono::steady_clock::now() - interrupted;
    sim.Release();
    EXPECT_LT(took, std::chrono::milliseconds(2000));
    EXPECT_EQ(r.exitCode, 8) << r.err;
    ASSERT_EQ(Lines(r.out).size(), 1u) << r.out;
    const std::string line = Lines(r.out)[0];
    EXPECT_EQ(Field(line, "result"), "4096") << line;
    EXPECT_EQ(Field(line, "exit"), "8") << line;
    EXPECT_EQ(Field(line, "step"), "null") << line;
    if (c.console) {
      // Stopped before its transfer began.
      EXPECT_TRUE(Field(line, "outcome") == "not_started" || Field(line, "outcome") == "aborted")
          << line;
      EXPECT_EQ(Field(line, "bytes"), "0") << line;
    } else {
      EXPECT_EQ(Field(line, "outcome"), "aborted") << line;
      EXPECT_EQ(Field(line, "text"), "aborted after " + Field(line, "bytes") + " bytes") << line;
      if (c.sent)
        EXPECT_GT(std::stoll(Field(line, "bytes")), static_cast<long long>(data_.size())) << line;
      else
        EXPECT_EQ(Field(line, "bytes"), "0") << line;
    }
    EXPECT_EQ(JobFilesLeft(), 0);
  }
}

TEST_F(CliDownload, NoFtpServerOrNoGreetingIsAPrinterThatCannotBeOpened) {
  PrinterSimulator noFtp({"--model-name", kModel, "--ftp-port", "0"});
  PrinterSimulator noGreeting({"--model-name", kModel, "--ftp-fault", "greeting-120"});
  ASSERT_TRUE(noFtp.Ready() && noGreeting.Ready());
  for (const PrinterSimulator* sim : {&noFtp, &noGreeting}) {
    SCOPED_TRACE(sim->Address());
    const CliResult r =
        RunCli({"download", package_, "--printer", Ftp(*sim), "--model", kModel, "--yes", "--init-items", "1", "--json"});
    EXPECT_EQ(r.exitCode, 5) << r.err;
    ASSERT_EQ(Lines(r.out).size(), 1u) << r.out;
    EXPECT_EQ(Field(Lines(r.out)[0], "result"), "32");
    EXPECT_EQ(Field(Lines(r.out)[0], "step"), "printer_open");
    EXPECT_EQ(Field(Lines(r.out)[0], "bytes"), "0");
  }
}

TEST(CliQueryFields, APaddedModelAndAnOverlongVersionLineKeepTheirFields) {
  PrinterSimulator padded({"--model-name", "HALVORN CORVIA KV3   ", "--version", "3.01  "});
  PrinterSimulator overlong({"--model-name", "HALVORN CORVIA KV3", "--version", std::string(300, '3')});
  ASSERT_TRUE(padded.Ready() && overlong.Ready());
  CliResult r = RunCli({"query", padded.Address(), "--json"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Field(Lines(r.out).at(0), "model"), "HALVORN CORVIA KV3");
  EXPECT_EQ(Field(Lines(r.out).at(0), "version"), "3.01");
  // Not the model; a version that long is not known.
  r = RunCli({"query", overlong.Address(), "--json"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Field(Lines(r.out).at(0), "model"), "HALVORN CORVIA KV3");
  EXPECT_EQ(Field(Lines(r.out).at(0), "version"), "");
}

TEST(CliQueryFields, CtrlCWhileTheConsoleKeepsItsAnswerEndsTheQueryAtOnce) {
  // The query waits for the console at each point; Ctrl+C must end it
  // within moments as an abort, never at the dialogue's own bound.
  for (const char* point : {"CONSOLE", "LOGIN", "STAT"}) {
    SCOPED_TRACE(point);
    PrinterSimulator sim({"--model-name", "HALVORN CORVIA KV3", "--hold", point});
    ASSERT_TRUE(sim.Ready());
    CliProcess cli({"query", sim.Address(), "--json"});
    ASSERT_TRUE(sim.WaitHeld(point)) << cli.ErrSoFar();
    const auto interrupted = std::chrono::steady_clock::now();
    cli.Signal(SIGINT);
    const CliResult r = cli.Wait(20000);
    const auto took = std::chrono::steady_clock::now() - interrupted;
    sim.Release();
    EXPECT_LT(took, std::chrono::milliseconds(2000));
    EXPECT_EQ(r.exitCode, 8) << r.err;
    EXPECT_EQ(Field(Lines(r.out).at(0), "error"), "0x20001000") << r.out;
  }
}

}  // namespace

namespace {

// The queue is held while the firmware goes, and left alone with
// --no-hold; seen from beside the run while the printer keeps the job.
TEST_F(CliDownload, TheQueueIsHeldDuringTheUpdateAndNoHoldLeavesItAlone) {
  for (const bool noHold : {false, true}) {
    SCOPED_TRACE(noHold ? "--no-hold" : "held");
    PrinterSimulator sim({"--model-name", kModel, "--hold", "RAW"});
    ASSERT_TRUE(sim.Ready());
    const std::string q = Queue(noHold ? "qc_nohold" : "qc_hold", RawUri(sim));
    platform::QueueHoldState during;
    std::thread beside([&] {
      if (sim.WaitHeld("RAW")) during = platform::QueryHoldState(q);
      sim.Release();
    });
    std::vector<std::string> args{"download", package_, "--printer", q, "--yes", "--init-items", "1", "--json"};
    if (noHold) args.push_back("--no-hold");
    const CliResult r = RunCli(args);
    beside.join();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ASSERT_TRUE(during.known);
    EXPECT_EQ(during.holdingNewJobs, !noHold);
    EXPECT_EQ(during.holdByDefault, !noHold);
    const platform::QueueHoldState after = platform::QueryHoldState(q);
    EXPECT_FALSE(after.holdingNewJobs || after.holdByDefault);
  }
}

}  // namespace

namespace {

// With --verify, a user's job sent during the update prints only once the
// printer's restart has been seen, not as soon as the firmware is in.
TEST_F(CliDownload, WithVerifyAUsersJobWaitsForTheRestart) {
  PrinterSimulator sim(
      {"--model-name", kModel, "--hold", "RAW", "--version-after", "3.01", "--restart-seconds", "2"});
  ASSERT_TRUE(sim.Ready());
  const std::string q = Queue("qc_verifyhold", RawUri(sim));
  int user = 0;
  std::thread beside([&] {
    if (sim.WaitHeld("RAW")) {
      platform::PrinterHandle h;
      if (h.Open(q) && (user = h.StartRawDoc("user job")) > 0) {
        h.WriteBlock("user data", 9);
        h.EndDoc();
      }
    }
    sim.Release();
  });
  const CliResult r = RunCli({"download", package_, "--printer", q, "--yes", "--init-items", "1", "--json", "--verify",
                              "--verify-timeout", "20"});
  beside.join();
  EXPECT_EQ(r.exitCode, 0) << r.err;
  ASSERT_GT(user, 0);
  EXPECT_EQ(Field(Lines(r.out).at(0), "verification"), "verified") << r.out;
  const auto reports = sim.Reports(2);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(ReceivedJob(reports[1]), "user data");
  // The restart took two seconds; the user's job came after it.
  EXPECT_GE(std::stod(JsonField(reports[1], "started")) - std::stod(JsonField(reports[0], "ended")),
            1.5);
  const platform::QueueHoldState after = platform::QueryHoldState(q);
  EXPECT_FALSE(after.holdingNewJobs || after.holdByDefault);
}

}  // namespace
