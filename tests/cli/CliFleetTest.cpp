// Fleets through quillon-cli as a child process: inventory, per-printer
// models, skipping and refusing by version, resuming, and verification
// against the restarting simulator.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <string>
#include <vector>

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

// A printer entry of the simulator's configuration.
std::string Printer(const std::string& model, const std::string& version,
                    const std::string& after = {}) {
  std::string e = "{\"model\": \"" + model + "\", \"version\": \"" + version + "\"";
  if (!after.empty()) e += ", \"version_after\": \"" + after + "\", \"restart_seconds\": 1";
  return e + "}";
}

class CliFleet : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(CupsdDir().empty()) << "the private cupsd fixture did not run";
    package_ = Put(MakeTestDir("pkg"), "FW.RXF",
                   Header({"FileFormat=RXF", "DownLoadDesc=Test firmware", "DownLoadVersion=3.01",
                           "EnableCommand=1", "Reboot=1", "DownLoadPrinter=KV3"}) +
                       '\x1A' + Pattern(50000, 7));
  }
  void TearDown() override {
    for (const std::string& q : queues_) DeleteQueue(q);
  }
  std::string package_;
  std::vector<std::string> queues_;
};

}  // namespace

TEST_F(CliFleet, InventoryGivesALinePerHostInOrderAndAPrintersFile) {
  PrinterSimulator sim(3, {"--model-name", "RX-140"}, {{1, Printer(kModel, "3.01")}});
  ASSERT_TRUE(sim.Ready());
  const auto& a = sim.Addresses();
  const std::string nobody = a[0].substr(0, a[0].rfind('.')) + ".99";  // not served
  const std::string printers = MakeTestDir("inv") + "/printers.txt";
  CliResult r = RunCli({"inventory", a[0] + "-" + a[2].substr(a[2].rfind('.') + 1), nobody,
                        "--json", "--printers-out", printers});
  EXPECT_EQ(r.exitCode, 9) << r.err;  // some answered, one did not
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 4u) << r.out;
  const std::vector<std::string> order = {a[0], a[1], a[2], nobody};
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const QJsonObject o = Object(lines[i]);
    EXPECT_EQ(Str(o, "host"), order[i]);
    EXPECT_TRUE(o.contains("seconds"));
    EXPECT_EQ(Str(o, "reachable"), i < 3 ? "true" : "false");
  }
  const QJsonObject kv3 = Object(lines[1]);
  EXPECT_EQ(Str(kv3, "model"), kModel);
  EXPECT_EQ(Str(kv3, "version"), "3.01");
  EXPECT_EQ(Str(kv3.value("entry").toObject(), "name"), kModel);
  EXPECT_EQ(Str(kv3.value("entry").toObject(), "command"), "true");
  EXPECT_EQ(Str(Object(lines[0]), "version"), "2.10");
  const QJsonObject lost = Object(lines[3]);
  EXPECT_EQ(Str(lost, "model"), "null");
  EXPECT_EQ(Str(lost, "entry"), "null");
  EXPECT_NE(Str(lost, "error"), "null");

  // The printers file names the answering printers with their models and
  // is an inventory's (and a download's) input in turn.
  const std::string file = ReadFileBytes(printers);
  EXPECT_NE(file.find(Ftp(a[1]) + " model=\"" + kModel + "\""), std::string::npos) << file;
  EXPECT_EQ(file.find(nobody), std::string::npos) << file;
  r = RunCli({"inventory", "--hosts-from", printers});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.rfind("HOST ", 0), 0u) << r.out;  // a table
  EXPECT_NE(r.out.find("3.01"), std::string::npos);

  r = RunCli({"inventory", "10.0.0.0/21"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("1024"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
}

TEST_F(CliFleet, InventoryAsksAsManyConsolesAtOnceAsJobs) {
  PrinterSimulator sim(4, {"--hold", "STAT"});
  ASSERT_TRUE(sim.Ready());
  const auto& a = sim.Addresses();
  CliProcess cli({"inventory", a[0], a[1], a[2], a[3], "--jobs", "4", "--json"});
  // Every console is held at its answer at the same time.
  EXPECT_TRUE(sim.WaitHeld("STAT", 4));
  sim.Release();
  const CliResult r = cli.Wait();
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Lines(r.out).size(), 4u);
}

TEST_F(CliFleet, PerLineModelsSkipCurrentRefuseDowngradeAndResume) {
  // Versions around the package's 3.01; the last printer's console names
  // a model without the download command, its line the package's target.
  PrinterSimulator sim(4, {}, {{0, Printer(kModel, "2.00")},
                               {1, Printer(kModel, "V3.01.0")},
                               {2, Printer(kModel, "3.10")},
                               {3, Printer("RX-140", "2.00")}});
  ASSERT_TRUE(sim.Ready());
  const auto& a = sim.Addresses();
  const std::string dir = MakeTestDir("batch");
  ASSERT_TRUE(WriteFileBytes(dir + "/printers.txt",
                             Ftp(a[0]) + "\n" + Ftp(a[1]) + "\n" + Ftp(a[2]) + "\n" + Ftp(a[3]) +
                                 " model=\"" + kModel + "\"\n"));
  CliResult r = RunCli({"download", package_, "--printers-from", dir + "/printers.txt",
                        "--skip-current", "--yes", "--init-items", "1", "--json", "--jobs", "4"});
  EXPECT_EQ(r.exitCode, 9) << r.err;
  ASSERT_TRUE(WriteFileBytes(dir + "/result.jsonl", r.out));
  const QJsonObject sent = LineOf(r.out, "printer", Ftp(a[0]));
  EXPECT_EQ(Str(sent, "outcome"), "succeeded");
  EXPECT_EQ(Str(sent, "version_before"), "2.00");
  EXPECT_EQ(Str(sent, "exit"), "0");
  const QJsonObject skipped = LineOf(r.out, "printer", Ftp(a[1]));
  EXPECT_EQ(Str(skipped, "outcome"), "skipped");
  EXPECT_EQ(Str(skipped, "exit"), "0");
  const QJsonObject refused = LineOf(r.out, "printer", Ftp(a[2]));
  EXPECT_EQ(Str(refused, "outcome"), "refused");
  EXPECT_EQ(Str(refused, "exit"), "12");
  EXPECT_NE(Str(refused, "message").find("3.10"), std::string::npos);
  const QJsonObject ownModel = LineOf(r.out, "printer", Ftp(a[3]));
  EXPECT_EQ(Str(ownModel, "model"), kModel);
  EXPECT_EQ(Str(ownModel, "outcome"), "succeeded");

  EXPECT_EQ(JobsAt(sim, a[0]).size(), 1u);
  EXPECT_TRUE(JobsAt(sim, a[1]).empty());
  EXPECT_TRUE(JobsAt(sim, a[2]).empty());
  // Wrapped with the download command: its line's model, not the console's.
  const auto own = JobsAt(sim, a[3]);
  ASSERT_EQ(own.size(), 1u);
  EXPECT_EQ(JsonField(own[0], "preamble"), "true");

  // A re-run tries only the refused printer; now a downgrade is allowed.
  r = RunCli({"download", package_, "--printers-from", dir + "/printers.txt", "--resume",
              dir + "/result.jsonl", "--allow-downgrade", "--yes", "--init-items", "1", "--json"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const auto again = Lines(r.out);
  ASSERT_EQ(again.size(), 1u) << r.out;
  EXPECT_EQ(Str(Object(again[0]), "printer"), Ftp(a[2]));
  EXPECT_EQ(JobsAt(sim, a[2]).size(), 1u);
  EXPECT_EQ(JobsAt(sim, a[0]).size(), 1u);
}

TEST_F(CliFleet, VerifyReportsTheVersionBeforeAndAfterTheRestart) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  PrinterSimulator sim(3, {}, {{0, Printer(kModel, "2.00", "3.01")},
                               {1, Printer(kModel, "2.00", "2.00")},  // the update did not take
                               {2, Printer(kModel, "2.50", "3.01")}});
  ASSERT_TRUE(sim.Ready());
  const auto& a = sim.Addresses();
  const std::string queue = "qverify";
  ASSERT_TRUE(AddQueue(queue, "socket://" + a[2] + ":9100/?snmp=false", kModel));
  queues_.push_back(queue);
  const CliResult r = RunCli({"download", package_, "--printer", Ftp(a[0]), "--printer", Ftp(a[1]),
                              "--printer", queue, "--yes", "--init-items", "1", "--json", "--jobs", "3", "--verify",
                              "--verify-timeout", "8"});
  EXPECT_EQ(r.exitCode, 9) << r.err;
  const QJsonObject ok = LineOf(r.out, "printer", Ftp(a[0]));
  EXPECT_EQ(Str(ok, "verification"), "verified");
  EXPECT_EQ(Str(ok, "version_before"), "2.00");
  EXPECT_EQ(Str(ok, "version_after"), "3.01");
  EXPECT_EQ(Str(ok, "exit"), "0");
  const QJsonObject stuck = LineOf(r.out, "printer", Ftp(a[1]));
  EXPECT_EQ(Str(stuck, "verification"), "unverified");
  EXPECT_EQ(Str(stuck, "version_after"), "2.00");
  EXPECT_EQ(Str(stuck, "exit"), "11");
  // The queue's device is the printer's network address: its console is asked.
  const QJsonObject spooled = LineOf(r.out, "printer", queue);
  EXPECT_EQ(Str(spooled, "verification"), "verified");
  EXPECT_EQ(Str(spooled, "version_before"), "2.50");
  EXPECT_EQ(Str(spooled, "version_after"), "3.01");
  EXPECT_NE(r.err.find("verified: version 2.00 -> 3.01"), std::string::npos) << r.err;

  // The history keeps the same: each attempt's versions and verification.
  const auto history = [](const std::string& printer) {
    const CliResult h = RunCli({"history", "--json", "--printer", printer});
    EXPECT_EQ(h.exitCode, 0) << h.err;
    const auto rows = Lines(h.out);
    EXPECT_EQ(rows.size(), 1u) << h.out;
    return rows.empty() ? QJsonObject() : Object(rows[0]);
  };
  const QJsonObject okRow = history(Ftp(a[0]));
  EXPECT_EQ(Str(okRow, "version_before"), "2.00");
  EXPECT_EQ(Str(okRow, "version_after"), "3.01");
  EXPECT_EQ(Str(okRow, "outcome"), "verified");
  const QJsonObject stuckRow = history(Ftp(a[1]));
  EXPECT_EQ(Str(stuckRow, "version_after"), "2.00");
  EXPECT_EQ(Str(stuckRow, "outcome"), "unverified");
  const QJsonObject spooledRow = history(queue);
  EXPECT_EQ(Str(spooledRow, "version_before"), "2.50");
  EXPECT_EQ(Str(spooledRow, "outcome"), "verified");
  const CliResult text = RunCli({"history", "--printer", Ftp(a[0])});
  EXPECT_NE(text.out.find("\t3.01\t2.00\t3.01\tverified\t"), std::string::npos) << text.out;
}

TEST_F(CliFleet, QueueLookupsJoinTheConsolePoolBesideTheFtpPrinters) {
  // Every console holds its answer: the queues' devices must be asked side
  // by side with the FTP printer, not one after another before it.
  PrinterSimulator sim(3, {"--model-name", kModel, "--version", "2.00", "--hold", "STAT"});
  ASSERT_TRUE(sim.Ready());
  const auto& a = sim.Addresses();
  for (int i = 0; i < 2; ++i) {
    const std::string queue = "qpool" + std::to_string(i);
    ASSERT_TRUE(AddQueue(queue, "socket://" + a[i] + ":9100/?snmp=false", kModel));
    queues_.push_back(queue);
  }
  CliProcess cli({"download", package_, "--printer", "qpool0", "--printer", "qpool1", "--printer",
                  Ftp(a[2]), "--skip-current", "--yes", "--init-items", "1", "--json", "--jobs", "3"});
  EXPECT_TRUE(sim.WaitHeld("STAT", 3)) << cli.ErrSoFar();
  sim.Release();
  const CliResult r = cli.Wait();
  EXPECT_EQ(r.exitCode, 0) << r.err;
  for (const std::string& p : {std::string("qpool0"), std::string("qpool1"), Ftp(a[2])}) {
    const QJsonObject line = LineOf(r.out, "printer", p);
    EXPECT_EQ(Str(line, "outcome"), "succeeded") << p;
    EXPECT_EQ(Str(line, "version_before"), "2.00") << p;
  }
  EXPECT_EQ(sim.Reports(3).size(), 3u);
}

TEST_F(CliFleet, TheDowngradeCheckNeedsNoFlagAndASilentConsoleHoldsNothingBack) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  PrinterSimulator sim(2, {}, {{0, Printer(kModel, "3.10")}, {1, Printer(kModel, "3.10")}});
  ASSERT_TRUE(sim.Ready());
  const auto& a = sim.Addresses();
  ASSERT_TRUE(AddQueue("qdown", "socket://" + a[1] + ":9100/?snmp=false", kModel));
  queues_.push_back("qdown");
  // No console at all on this one: its version cannot be known.
  const std::string port = std::to_string(UnusedPort());
  PrinterSimulator quiet({"--model-name", kModel, "--ftp-port", port, "--console-port", "0",
                          "--raw-port", "0"});
  ASSERT_TRUE(quiet.Ready());
  const std::string quietFtp = "ftp://" + quiet.Address() + ":" + port + "/vesta0";

  CliResult r = RunCli({"download", package_, "--printer", Ftp(a[0]), "--printer", "qdown",
                        "--printer", quietFtp, "--model", kModel, "--yes", "--init-items", "1", "--json", "--jobs", "3"});
  EXPECT_EQ(r.exitCode, 9) << r.err;
  for (const std::string& p : {Ftp(a[0]), std::string("qdown")}) {
    const QJsonObject refused = LineOf(r.out, "printer", p);
    EXPECT_EQ(Str(refused, "outcome"), "refused") << p;
    EXPECT_EQ(Str(refused, "exit"), "12") << p;
    EXPECT_EQ(Str(refused, "version_before"), "3.10") << p;
    EXPECT_NE(Str(refused, "message").find("--allow-downgrade"), std::string::npos) << p;
  }
  // Each key once: a reader keeping the first of two "outcome"s must not
  // see another value than one keeping the last.
  for (const std::string& l : Lines(r.out)) {
    for (const char* key : {"\"outcome\":", "\"version_before\":", "\"version_detail\":"}) {
      std::size_t n = 0;
      for (std::size_t at = l.find(key); at != std::string::npos; at = l.find(key, at + 1)) ++n;
      EXPECT_EQ(n, 1u) << key << " in " << l;
    }
  }
  const QJsonObject sent = LineOf(r.out, "printer", quietFtp);
  EXPECT_EQ(Str(sent, "outcome"), "succeeded");
  EXPECT_EQ(Str(sent, "version_before"), "null");
  EXPECT_NE(Str(sent, "version_detail").find("did not answer"), std::string::npos)
      << Str(sent, "version_detail");
  EXPECT_NE(r.err.find(quietFtp + ": version not known"), std::string::npos) << r.err;
  EXPECT_TRUE(sim.Reports(0).empty());
  EXPECT_EQ(quiet.Reports(1).size(), 1u);

  // Allowed to go down, with its model given, nothing needs the version:
  // the console is not asked at all.
  const std::size_t sessions = sim.ConsoleSessions(2).size();
  r = RunCli({"download", package_, "--printer", Ftp(a[0]), "--model", kModel,
              "--allow-downgrade", "--yes", "--init-items", "1", "--json"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Str(Object(Lines(r.out).at(0)), "version_detail"), "null");
  EXPECT_EQ(JobsAt(sim, a[0]).size(), 1u);
  EXPECT_EQ(sim.ConsoleSessions(0).size(), sessions);
}

TEST_F(CliFleet, ATransferStartsOnceItsOwnChecksPassed) {
  // The first printer's console never answers (its query runs into the
  // library's bound); the second printer's job must not wait for that.
  PrinterSimulator sim(2, {"--model-name", kModel, "--version", "2.00"},
                       {{0, R"({"console_faults": ["silence"]})"}});
  ASSERT_TRUE(sim.Ready());
  const auto& a = sim.Addresses();
  CliProcess cli({"download", package_, "--printer", Ftp(a[0]), "--printer", Ftp(a[1]),
                  "--skip-current", "--yes", "--init-items", "1", "--json", "--jobs", "2"});
  std::vector<std::string> reports;
  for (int i = 0; i < 4 && reports.empty(); ++i) reports = sim.Reports(1);  // up to 20 s
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(JsonField(reports[0], "address"), "\"" + a[1] + "\"");
  EXPECT_TRUE(cli.Running()) << "the silent printer's check should still run";
  const CliResult r = cli.Wait();
  EXPECT_EQ(Str(LineOf(r.out, "printer", Ftp(a[1])), "outcome"), "succeeded");
  EXPECT_EQ(Str(LineOf(r.out, "printer", Ftp(a[0])), "version_before"), "null");
}
