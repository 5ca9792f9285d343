// A printer's identity through quillon-cli inventory against peers nobody
// here wrote: ippeveprinter (IPP), two snmpd (v2c and v3), the printer
// simulator with its console (and hardened, nothing open), all started by
// the harness (scripts/identity-harness.sh).
#include <gtest/gtest.h>

#include <locale.h>
#include <signal.h>
#include <string.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "cli/AppSetup.h"
#include "cli/Arguments.h"
#include "cli/IdentityProbe.h"
#include "core/app/QuillonApp.h"
#include "tests/cli/CliJsonLines.h"
#include "tests/cli/CliProcess.h"
#include "tests/support/PrinterSimulator.h"
#include "tests/support/TestEnv.h"

using namespace quillon_test;

namespace {

// The program runs in an English locale here; the test's own may be Japanese.
std::string CLocaleError(int error) {
  const locale_t c = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  std::string text = ::strerror_l(error, c);
  ::freelocale(c);
  return text;
}

using Clock = std::chrono::steady_clock;

// The cause a source gave, "" when it gave none.
QJsonObject CauseOf(const QJsonObject& line, const std::string& source) {
  for (const QJsonValue& v : line.value("causes").toArray()) {
    if (Str(v.toObject(), "source") == source) return v.toObject();
  }
  return {};
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

class CliIdentity : public ::testing::Test {
 protected:
  void SetUp() override {
    peers_ = IdentityPeers();
    ASSERT_FALSE(peers_["IPP_PORT"].empty()) << "the identity peers fixture did not run";
  }
  // The user's settings file, as quillon-cli reads it.
  void Settings(const std::string& text) {
    const std::string dir = std::string(std::getenv("XDG_CONFIG_HOME")) + "/quillon";
    ASSERT_EQ(RunCommand("mkdir -p '" + dir + "'"), 0);
    ASSERT_TRUE(WriteFileBytes(dir + "/QUILLON.INI", text));
  }
  std::string Section(const std::string& host, const std::string& lines) {
    return "[Identity " + host + "]\n" + lines;
  }
  std::string SnmpV3Lines(const std::string& auth) {
    return "SnmpPort=" + peers_["SNMP3_PORT"] + "\nSnmpVersion=3\nSnmpUser=" +
           peers_["SNMP3_USER"] + "\nSnmpAuth=" + auth + "\nSnmpPriv=" + peers_["SNMP3_PRIV"] +
           "\n";
  }
  std::map<std::string, std::string> peers_;
};

TEST_F(CliIdentity, AMixedFleetSaysModelVersionAndSourceOfEachOrWhyNot) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  PrinterSimulator console({"--model-name", "RX-140", "--version", "2.10"});
  PrinterSimulator hardened({"--hardened"});
  ASSERT_TRUE(console.Ready());
  ASSERT_TRUE(hardened.Ready());
  const std::string ipp = peers_["IPP_HOST"], v2 = peers_["SNMP2_HOST"], v3 = peers_["SNMP3_HOST"];
  const std::string none = hardened.Address();
  Settings(Section(ipp, "IppPort=" + peers_["IPP_PORT"] + "\n") +
           Section(v2, "SnmpPort=" + peers_["SNMP2_PORT"] + "\n") +
           Section(v3, SnmpV3Lines(peers_["SNMP3_AUTH"])) +
           "[SnmpFirmware]\nRX-140=sysdescr:Firmware V([0-9.]+)\nKV3=oid:" +
           peers_["SNMP3_FIRMWARE_OID"] + "\n");
  const std::vector<std::string> hosts = {console.Address(), ipp, v2, v3, none};
  std::vector<std::string> args = {"inventory", "--json", "--snmp-community",
                                   peers_["SNMP2_COMMUNITY"]};
  args.insert(args.end(), hosts.begin(), hosts.end());
  const CliResult r = RunCli(args);
  EXPECT_EQ(r.exitCode, 9) << r.err;  // all but one answered
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), hosts.size()) << r.out;
  struct Want {
    const char* source;
    const char* model;
    const char* version;
  } const want[] = {{"console", "RX-140", "2.10"},
                    {"ipp", "KV3", "3.05"},  // the entry named Firmware, not the boot loader
                    {"snmp", "RX-140", "2.10"},
                    {"snmp", "KV3", "3.02"}};
  for (std::size_t i = 0; i < 4; ++i) {
    const QJsonObject o = Object(lines[i]);
    EXPECT_EQ(Str(o, "host"), hosts[i]);
    EXPECT_EQ(Str(o, "identity_source"), want[i].source) << lines[i];
    EXPECT_EQ(Str(o, "model"), want[i].model) << lines[i];
    EXPECT_EQ(Str(o, "version"), want[i].version) << lines[i];
  }
  const QJsonObject ippLine = Object(lines[1]);
  EXPECT_EQ(Str(ippLine, "uuid"), peers_["IPP_UUID"]);
  EXPECT_EQ(Str(ippLine, "printer_state"), "idle");
  EXPECT_EQ(ippLine.value("printer_state_reasons").toArray().at(0).toString().toStdString(), "none");
  EXPECT_TRUE(ippLine.contains("uptime_seconds"));
  EXPECT_EQ(Str(CauseOf(ippLine, "console"), "kind"), "no_answer");  // asked first, in order
  EXPECT_EQ(Str(Object(lines[2]), "serial"), "RX140-SN-0042");
  EXPECT_EQ(Str(Object(lines[3]), "serial"), "KV3-SN-7");

  // Nothing open: unreachable, with every source's cause.
  const QJsonObject lost = Object(lines[4]);
  EXPECT_EQ(Str(lost, "reachable"), "false");
  EXPECT_EQ(Str(lost, "identity_source"), "null");
  for (const char* source : {"console", "ipp", "snmp"})
    EXPECT_EQ(Str(CauseOf(lost, source), "kind"), "no_answer") << source << " " << lines[4];
  EXPECT_NE(Str(CauseOf(lost, "snmp"), "cause").find("wrong community or no agent"),
            std::string::npos);
  EXPECT_EQ(Str(lost, "code"), "0x20000006");  // the console's code, kept for scripts
  EXPECT_NE(Str(lost, "detail").find(CLocaleError(ECONNREFUSED)), std::string::npos) << lines[4];

  // The table says the same, with its SOURCE column.
  args.erase(args.begin() + 1);
  const CliResult t = RunCli(args);
  EXPECT_EQ(t.exitCode, 9) << t.err;
  EXPECT_NE(t.out.find("SOURCE"), std::string::npos) << t.out;
  const auto row = [&](const std::string& host) {
    const std::size_t at = t.out.find("\n" + host + " ");
    return at == std::string::npos ? std::string() : t.out.substr(at + 1, t.out.find('\n', at + 1) - at - 1);
  };
  EXPECT_NE(row(ipp).find("KV3  "), std::string::npos) << t.out;
  EXPECT_NE(row(ipp).find(" ipp "), std::string::npos) << t.out;
  EXPECT_NE(row(v3).find("3.02"), std::string::npos) << t.out;
  EXPECT_NE(row(v3).find(" snmp "), std::string::npos) << t.out;
  EXPECT_NE(row(console.Address()).find(" console "), std::string::npos) << t.out;
  EXPECT_NE(row(none).find("snmp: no answer (wrong community or no agent)"), std::string::npos)
      << t.out;
}

TEST_F(CliIdentity, AWrongCommunityOrV3PasswordIsToldAsSuch) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  const std::string v2 = peers_["SNMP2_HOST"], v3 = peers_["SNMP3_HOST"];
  Settings("[Identity]\nOrder=snmp\nTimeoutMs=300\n" +
           Section(v2, "SnmpPort=" + peers_["SNMP2_PORT"] + "\nSnmpCommunity=guessed\n") +
           Section(v3, SnmpV3Lines("SHA:wrongpass99")));
  CliResult r = RunCli({"inventory", "--json", v2, v3});
  EXPECT_EQ(r.exitCode, 5) << r.err;
  std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 2u) << r.out;
  const QJsonObject community = CauseOf(Object(lines[0]), "snmp");
  EXPECT_EQ(Str(community, "kind"), "no_answer");
  EXPECT_NE(Str(community, "cause").find("wrong community or no agent"), std::string::npos);
  const QJsonObject password = CauseOf(Object(lines[1]), "snmp");
  EXPECT_EQ(Str(password, "kind"), "auth") << lines[1];
  EXPECT_NE(Str(password, "cause").find("refused the SNMPv3"), std::string::npos) << lines[1];

  // An unknown user is refused the same way; the right one answers.
  r = RunCli({"inventory", "--json", v3, "--snmp-user", "intruder"});
  lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 1u) << r.out;
  EXPECT_EQ(Str(CauseOf(Object(lines[0]), "snmp"), "kind"), "auth") << lines[0];
  r = RunCli({"inventory", "--json", v3, "--snmp-auth", peers_["SNMP3_AUTH"]});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  // A wrong privacy key: the agent cannot read the request and stays silent.
  r = RunCli({"inventory", "--json", v3, "--snmp-auth", peers_["SNMP3_AUTH"], "--snmp-priv",
              "AES:wrongpriv99"});
  lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 1u) << r.out;
  EXPECT_EQ(Str(CauseOf(Object(lines[0]), "snmp"), "kind"), "no_answer") << lines[0];
  EXPECT_NE(Str(CauseOf(Object(lines[0]), "snmp"), "cause").find("wrong privacy password"),
            std::string::npos)
      << lines[0];

  // v2c without any community is not asked with a made-up one.
  Settings("[Identity]\nOrder=snmp\n" + Section(v2, "SnmpPort=" + peers_["SNMP2_PORT"] + "\n"));
  r = RunCli({"inventory", "--json", v2});
  lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 1u) << r.out;
  EXPECT_EQ(Str(CauseOf(Object(lines[0]), "snmp"), "kind"), "setup") << lines[0];
}

TEST_F(CliIdentity, ASilentPeerEndsWithinItsBound) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  const std::string ipp = peers_["IPP_HOST"], v3 = peers_["SNMP3_HOST"];
  // The IPP peer takes the connection and never answers; the v3 agent
  // never answers a v2c request.
  Settings(Section(ipp, "Order=ipp\nIppPort=" + peers_["SILENT_IPP_PORT"] + "\n") +
           Section(v3, "Order=snmp\nSnmpPort=" + peers_["SNMP3_PORT"] + "\nSnmpCommunity=any\n"));
  for (const std::string& host : {ipp, v3}) {
    const auto begin = Clock::now();
    const CliResult r = RunCli({"inventory", "--json", host});
    const double took = Seconds(begin);
    EXPECT_EQ(r.exitCode, 5) << r.err;
    // 2 s, tried twice.
    EXPECT_GE(took, 3.5) << host;
    EXPECT_LT(took, 6.0) << host;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 1u) << r.out;
    const QJsonObject cause = Object(lines[0]).value("causes").toArray().at(0).toObject();
    EXPECT_EQ(Str(cause, "kind"), "no_answer") << lines[0];
    EXPECT_NE(Str(cause, "cause").find("2000 ms"), std::string::npos) << lines[0];
  }
}

TEST_F(CliIdentity, OneCallAsksAPrinterOverIppAndIpps) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  // The call a command that asks one printer makes: the settings file of
  // its application object, the options over it.
  const std::string ipp = peers_["IPP_HOST"];
  for (const char* order : {"ipp", "ipps"}) {
    Settings(Section(ipp, std::string("Order=") + order + "\nIppPort=" + peers_["IPP_PORT"] + "\n"));
    cli::Options o;
    std::string e;
    ASSERT_TRUE(cli::ParseArguments({"inventory", ipp}, o, e)) << e;
    const auto app = cli::MakeApp(o);
    const quillon::identity::Answer a = cli::AskIdentity(ipp, o, *app, &e);
    EXPECT_TRUE(e.empty()) << e;
    ASSERT_TRUE(a.reachable) << order << ": " << cli::CausesText(a);
    EXPECT_EQ(a.source, "ipp");
    EXPECT_EQ(a.model, "KV3");
    EXPECT_EQ(a.version, "3.05");
    EXPECT_EQ(a.uuid, peers_["IPP_UUID"]);
    EXPECT_GE(a.uptimeSeconds, 0);
    EXPECT_TRUE(a.failures.empty());
  }
}

TEST_F(CliIdentity, SilentAgentsAreWaitedForAtOnce) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  // net-snmp is called under one lock; the waits must not be.
  Settings("[Identity]\nOrder=snmp\nSnmpCommunity=any\n");
  const auto begin = Clock::now();
  const CliResult r = RunCli({"inventory", "--json", "--jobs", "4", "127.0.71.1-4"});
  EXPECT_LT(Seconds(begin), 6.0);
  EXPECT_EQ(r.exitCode, 5) << r.err;
  EXPECT_EQ(Lines(r.out).size(), 4u) << r.out;
}

TEST_F(CliIdentity, CtrlCCutsARequestThatWaits) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  const std::string ipp = peers_["IPP_HOST"], v3 = peers_["SNMP3_HOST"];
  Settings("[Identity]\nTimeoutMs=20000\n" +
           Section(ipp, "Order=ipp\nIppPort=" + peers_["SILENT_IPP_PORT"] + "\n") +
           Section(v3, "Order=snmp\nSnmpPort=" + peers_["SNMP3_PORT"] + "\nSnmpCommunity=any\n"));
  for (const std::string& host : {ipp, v3}) {
    CliProcess p({"inventory", "--json", host});
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    ASSERT_TRUE(p.Running()) << host;
    const auto begin = Clock::now();
    p.Signal(SIGINT);
    const CliResult r = p.Wait(10000);
    EXPECT_LT(Seconds(begin), 1.0) << host;
    EXPECT_EQ(r.exitCode, 8) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 1u) << r.out;
    EXPECT_EQ(Str(Object(lines[0]), "error"), "interrupted") << lines[0];
  }
}

}  // namespace
