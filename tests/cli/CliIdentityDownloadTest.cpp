// Downloads that decide on the identity sources: the model and downgrade
// checks, the restart proven by the uptime under --verify, and the plan's
// pin, through quillon-cli against ippeveprinter and snmpd (started by
// scripts/identity-harness.sh) with a printer simulator without a console
// on the same address taking the FTP transfer.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/CliJsonLines.h"
#include "tests/cli/CliProcess.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/PrinterSimulator.h"
#include "tests/support/TestEnv.h"

using namespace quillon_test;

namespace {

using Clock = std::chrono::steady_clock;

// The one JSON line of a single printer's run.
QJsonObject OnlyLine(const CliResult& r) {
  const std::vector<std::string> lines = Lines(r.out);
  EXPECT_EQ(lines.size(), 1u) << r.out << r.err;
  return lines.empty() ? QJsonObject() : Object(lines.front());
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

class CliIdentityDownload : public ::testing::Test {
 protected:
  void SetUp() override {
    peers_ = IdentityPeers();
    ASSERT_FALSE(peers_["SNMPR_STATE"].empty()) << "the identity peers fixture did not run";
    dir_ = MakeTestDir("iddl");
    // The SNMP printer as it runs before any update.
    State("uptime=500000\nfirmware=2.10\nserial=KV3-SN-100\nmodel=KV3\n");
    const std::string configDir = std::string(std::getenv("XDG_CONFIG_HOME")) + "/quillon";
    ASSERT_EQ(RunCommand("mkdir -p '" + configDir + "'"), 0);
    ASSERT_TRUE(WriteFileBytes(
        configDir + "/QUILLON.INI",
        "[Identity " + peers_["IPPK_HOST"] + "]\nIppPort=" + peers_["IPPK_PORT"] + "\n" +
            "[Identity " + peers_["IPPR_HOST"] + "]\nIppPort=" + peers_["IPPR_PORT"] + "\n" +
            "[Identity " + peers_["SNMPR_HOST"] + "]\nSnmpPort=" + peers_["SNMPR_PORT"] +
            "\nSnmpCommunity=" + peers_["SNMPR_COMMUNITY"] + "\n" +
            "[SnmpFirmware]\nKV3=oid:" + peers_["SNMPR_FIRMWARE_OID"] + "\n"));
  }
  // What the restarting SNMP printer answers from now on.
  void State(const std::string& text) {
    const std::string path = peers_["SNMPR_STATE"];
    ASSERT_TRUE(WriteFileBytes(path + ".new", text));
    ASSERT_EQ(std::rename((path + ".new").c_str(), path.c_str()), 0);
  }
  std::string Package(const std::string& version) {
    return package_test::Put(
        dir_, "FW" + version + ".RXF",
        package_test::Header({"FileFormat=RXF", "DownLoadDesc=Test firmware",
                              "DownLoadVersion=" + version, "EnableCommand=1", "Reboot=1",
                              "DownLoadPrinter=KV3"}) +
            '\x1A' + package_test::Pattern(20000, 3));
  }
  std::map<std::string, std::string> peers_;
  std::string dir_;
};

// Plays the printer's restart once a job more than `seen` has arrived:
// the state the printer answers with after it.
class RestartOnJob {
 public:
  RestartOnJob(const PrinterSimulator& sim, std::size_t seen, std::function<void()> restart)
      : thread_([this, &sim, seen, restart] {
          const auto deadline = Clock::now() + std::chrono::seconds(60);
          while (!stop_ && Clock::now() < deadline) {
            if (sim.Reports().size() > seen) {
              restart();
              return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
          }
        }) {}
  ~RestartOnJob() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace

TEST_F(CliIdentityDownload, TheModelAndDowngradeChecksTakeTheIppAnswerOfAPrinterWithoutConsole) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  const std::string kv3 = peers_["IPPK_HOST"], rx = peers_["IPPR_HOST"];
  PrinterSimulator kv3Printer(kv3, {"--console-port", "0"}, 10);
  PrinterSimulator rxPrinter(rx, {"--console-port", "0", "--model-name", "RX-140"}, 10);
  ASSERT_TRUE(kv3Printer.Ready());
  ASSERT_TRUE(rxPrinter.Ready());
  const std::string newer = Package("3.10"), older = Package("3.01");

  // The KV3 names itself over IPP (3.05): the package is sent.
  CliResult r = RunCli({"download", newer, "--printer", Ftp(kv3), "--yes", "--init-items", "0", "--json"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  QJsonObject line = OnlyLine(r);
  EXPECT_EQ(Str(line, "outcome"), "succeeded") << r.err;
  EXPECT_EQ(Str(line, "model"), "KV3");
  EXPECT_EQ(Str(line, "version_before"), "3.05");
  EXPECT_EQ(Str(line, "identity_source"), "ipp");
  EXPECT_EQ(kv3Printer.Reports(1).size(), 1u);
  // Its history row says where the model and version came from.
  const CliResult h = RunCli({"history", "--json", "--printer", Ftp(kv3)});
  ASSERT_FALSE(Lines(h.out).empty()) << h.out;
  EXPECT_EQ(Str(Object(Lines(h.out).back()), "identity_source"), "ipp") << h.out;
  const CliResult ht = RunCli({"history", "--printer", Ftp(kv3)});
  EXPECT_NE(ht.out.find("\tSOURCE\t"), std::string::npos) << ht.out;
  EXPECT_NE(ht.out.find("\tipp\t"), std::string::npos) << ht.out;

  // An older package: the IPP version refuses it as a downgrade.
  r = RunCli({"download", older, "--printer", Ftp(kv3), "--yes", "--init-items", "0", "--json"});
  EXPECT_EQ(r.exitCode, 12) << r.err;
  line = OnlyLine(r);
  EXPECT_EQ(Str(line, "reason"), "downgrade");
  EXPECT_EQ(Str(line, "version_before"), "3.05");

  // The RX-140 names itself over IPP too: not a target of the package.
  r = RunCli({"download", newer, "--printer", Ftp(rx), "--yes", "--init-items", "0", "--json"});
  EXPECT_EQ(r.exitCode, 12) << r.err;
  line = OnlyLine(r);
  EXPECT_EQ(Str(line, "outcome"), "refused");
  EXPECT_EQ(Str(line, "reason"), "not_target") << r.err;
  EXPECT_EQ(Str(line, "identity_source"), "ipp");
  EXPECT_TRUE(rxPrinter.Reports().empty());

  // Asked of its console alone (--identity), the KV3 answers nothing.
  r = RunCli({"download", newer, "--printer", Ftp(kv3), "--yes", "--init-items", "0", "--json",
              "--identity", "console"});
  EXPECT_EQ(r.exitCode, 5) << r.err;
  EXPECT_EQ(Str(OnlyLine(r), "outcome"), "unreachable");
  EXPECT_EQ(kv3Printer.Reports().size(), 1u);
}

TEST_F(CliIdentityDownload, APrinterThatAnswersNothingIsUnreachableWithEverySourcesCause) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  PrinterSimulator hardened({"--hardened"});
  ASSERT_TRUE(hardened.Ready());
  const auto begin = Clock::now();
  const CliResult r = RunCli({"download", Package("3.10"), "--printer", Ftp(hardened.Address()),
                              "--yes", "--init-items", "0", "--json", "--snmp-community", "fleetread"});
  const double took = Seconds(begin);
  EXPECT_EQ(r.exitCode, 5) << r.err;
  const QJsonObject line = OnlyLine(r);
  EXPECT_EQ(Str(line, "outcome"), "unreachable");
  EXPECT_EQ(Str(line, "reason"), "no_answer");
  EXPECT_EQ(Str(line, "identity_source"), "null");
  for (const char* source : {"console: ", "ipp: ", "snmp: no answer (wrong community or no agent)"})
    EXPECT_NE(Str(line, "detail").find(source), std::string::npos) << source << " " << Str(line, "detail");
  // The agent's silence is its bound: 2 s, tried twice.
  EXPECT_GE(took, 3.5);
  EXPECT_LT(took, 10.0);
  EXPECT_TRUE(hardened.Reports().empty());
}

TEST_F(CliIdentityDownload, VerifyProvesTheRestartOfAnSnmpOnlyPrinterByItsUptime) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  const std::string host = peers_["SNMPR_HOST"];
  PrinterSimulator printer(host, {"--console-port", "0"}, 10);
  ASSERT_TRUE(printer.Ready());
  const std::string package = Package("3.10");
  const std::vector<std::string> args = {"download", package, "--printer", Ftp(host), "--yes",
                                         "--init-items", "0", "--json", "--verify"};
  {
    // The printer goes down to install and comes back with the new firmware.
    RestartOnJob restart(printer, 0, [&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      State("uptime=300\nfirmware=3.10\nserial=KV3-SN-100\nmodel=KV3\n");
    });
    std::vector<std::string> a = args;
    a.insert(a.end(), {"--verify-timeout", "30"});
    const CliResult r = RunCli(a);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const QJsonObject line = OnlyLine(r);
    EXPECT_EQ(Str(line, "identity_source"), "snmp");
    EXPECT_EQ(Str(line, "version_before"), "2.10");
    EXPECT_EQ(Str(line, "verification"), "verified") << Str(line, "verification_detail");
    EXPECT_EQ(Str(line, "version_after"), "3.10");
    EXPECT_EQ(Str(line, "verification_source"), "snmp");
    EXPECT_EQ(Str(line, "restart"), "uptime 5000 s -> 3 s (snmp)");
    EXPECT_NE(r.err.find("verified: version 2.10 -> 3.10 (restarted: uptime 5000 s -> 3 s (snmp))"),
              std::string::npos)
        << r.err;
  }
  const CliResult h = RunCli({"history", "--json", "--printer", Ftp(host)});
  const std::vector<std::string> rows = Lines(h.out);
  ASSERT_FALSE(rows.empty()) << h.out;
  EXPECT_EQ(Str(Object(rows.back()), "outcome"), "verified");
  EXPECT_EQ(Str(Object(rows.back()), "identity_source"), "snmp");

  struct Case {
    const char* name;
    const char* after;  // the state after the job
    const char* detail;
  } const cases[] = {
      // The package's version named at once, the uptime still going on.
      {"no restart", "uptime=500600\nfirmware=3.10\nserial=KV3-SN-100\nmodel=KV3\n",
       "no restart was seen"},
      {"another model", "uptime=200\nfirmware=3.10\nserial=KV3-SN-100\nmodel=RX-140\n",
       "another model: RX-140 (was KV3)"},
      {"another serial", "uptime=200\nfirmware=3.10\nserial=KV3-SN-999\nmodel=KV3\n",
       "another serial: KV3-SN-999 (was KV3-SN-100)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    State("uptime=500000\nfirmware=2.10\nserial=KV3-SN-100\nmodel=KV3\n");
    const std::size_t seen = printer.Reports().size();
    RestartOnJob restart(printer, seen, [&] { State(c.after); });
    std::vector<std::string> a = args;
    a.insert(a.end(), {"--verify-timeout", "4"});
    const CliResult r = RunCli(a);
    EXPECT_EQ(r.exitCode, 11) << r.err;
    const QJsonObject line = OnlyLine(r);
    EXPECT_EQ(Str(line, "verification"), "unverified");
    EXPECT_NE(Str(line, "verification_detail").find(c.detail), std::string::npos)
        << Str(line, "verification_detail");
    EXPECT_EQ(printer.Reports().size(), seen + 1);
  }
}

TEST_F(CliIdentityDownload, APlanPinsTheSerialOrUuidAndAChangedOneReceivesNothing) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  const std::string snmp = peers_["SNMPR_HOST"], ipp = peers_["IPPK_HOST"];
  PrinterSimulator snmpPrinter(snmp, {"--console-port", "0"}, 10);
  PrinterSimulator ippPrinter(ipp, {"--console-port", "0"}, 10);
  ASSERT_TRUE(snmpPrinter.Ready());
  ASSERT_TRUE(ippPrinter.Ready());
  const std::string package = Package("3.10"), plan = dir_ + "/plan.json";
  CliResult r = RunCli({"download", package, "--printer", Ftp(snmp), "--printer", Ftp(ipp),
                        "--dry-run", "--init-items", "0", "--json", "--plan-out", plan});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  for (const std::string& l : Lines(r.out)) EXPECT_EQ(Str(Object(l), "plan"), "send") << l;
  EXPECT_EQ(Str(Object(Lines(r.out).at(0)), "identity_source"), "snmp");
  const QJsonObject file = QJsonDocument::fromJson(QByteArray::fromStdString(ReadFileBytes(plan))).object();
  const QJsonArray printers = file.value("printers").toArray();
  ASSERT_EQ(printers.size(), 2);
  const QJsonObject bySnmp = printers.at(0).toObject().value("identity").toObject();
  const QJsonObject byIpp = printers.at(1).toObject().value("identity").toObject();
  EXPECT_EQ(Str(bySnmp, "serial"), "KV3-SN-100");
  EXPECT_EQ(Str(bySnmp, "source"), "snmp");
  EXPECT_EQ(Str(byIpp, "uuid"), peers_["IPPK_UUID"]);
  EXPECT_EQ(Str(byIpp, "source"), "ipp");

  // Another KV3 at the SNMP printer's address; the IPP printer's UUID is
  // not the one planned (as if the address had gone to another printer).
  State("uptime=900\nfirmware=2.10\nserial=KV3-SN-555\nmodel=KV3\n");
  std::string edited = ReadFileBytes(plan);
  const std::string uuid = peers_["IPPK_UUID"];
  edited.replace(edited.find(uuid), uuid.size(), "urn:uuid:00000000-0000-4000-8000-000000000000");
  const std::string otherPlan = dir_ + "/other-plan.json";
  ASSERT_TRUE(WriteFileBytes(otherPlan, edited));
  r = RunCli({"download", "--plan", otherPlan, "--json"});
  EXPECT_EQ(r.exitCode, 12) << r.err;
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 2u) << r.out;
  for (const std::string& l : lines) {
    EXPECT_EQ(Str(Object(l), "outcome"), "refused") << l;
    EXPECT_EQ(Str(Object(l), "reason"), "identity_changed") << l;
  }
  EXPECT_NE(r.out.find("changed from KV3-SN-100 to KV3-SN-555"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("UUID changed"), std::string::npos) << r.out;
  EXPECT_TRUE(snmpPrinter.Reports().empty());
  EXPECT_TRUE(ippPrinter.Reports().empty());

  // The planned printer back at its address: the plan is applied.
  State("uptime=950\nfirmware=2.10\nserial=KV3-SN-100\nmodel=KV3\n");
  r = RunCli({"download", "--plan", plan, "--json"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(snmpPrinter.Reports(1).size(), 1u);
  EXPECT_EQ(ippPrinter.Reports(1).size(), 1u);
}
