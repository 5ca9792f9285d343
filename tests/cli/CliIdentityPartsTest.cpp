// The identity options of inventory and download, the settings under
// them, and what the download and its verification make of the answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "cli/Arguments.h"
#include "cli/IdentityProbe.h"
#include "cli/Plan.h"
#include "cli/Verify.h"
#include "platform/ProfileFile.h"
#include "tests/support/TestEnv.h"

using namespace cli;

TEST(CliIdentityOptions, ParsedForInventoryOnlyAndCheckedWhereTheyEnter) {
  Options o;
  std::string e;
  ASSERT_TRUE(ParseArguments({"inventory", "h", "--identity", "ipp,snmp", "--snmp-version", "v3",
                              "--snmp-user", "u", "--snmp-auth", "SHA:secret12",
                              "--snmp-priv=AES:secret34"},
                             o, e))
      << e;
  EXPECT_EQ(o.identityOrder, (std::vector<std::string>{"ipp", "snmp"}));
  EXPECT_EQ(o.snmpVersion, "3");
  EXPECT_EQ(o.snmpPriv, "AES:secret34");
  EXPECT_FALSE(ParseArguments({"inventory", "h", "--identity", "ipp,fax"}, o, e));
  EXPECT_FALSE(ParseArguments({"inventory", "h", "--snmp-version", "1"}, o, e));
  EXPECT_FALSE(ParseArguments({"inventory", "h", "--snmp-auth", "secret12"}, o, e));
  EXPECT_FALSE(ParseArguments({"inventory", "h", "--snmp-community", ""}, o, e));
  // The download asks the same sources, through the same options.
  ASSERT_TRUE(ParseArguments({"download", "P.RXF", "--printer", "q", "--identity", "snmp,console",
                              "--snmp-community", "c1"},
                             o, e))
      << e;
  EXPECT_EQ(o.identityOrder, (std::vector<std::string>{"snmp", "console"}));
  EXPECT_EQ(o.snmpCommunity, "c1");
  EXPECT_FALSE(ParseArguments({"download", "P.RXF", "--printer", "q", "--identity", "console,console"}, o, e));
  EXPECT_FALSE(ParseArguments({"job", "P.RXF", "--identity", "ipp"}, o, e));
  // A plan keeps no credential: they are given again when it is applied.
  EXPECT_TRUE(ParseArguments({"download", "--plan", "p.json", "--snmp-community", "c1",
                              "--identity", "snmp"},
                             o, e))
      << e;
  EXPECT_FALSE(ParseArguments({"download", "--plan", "p.json", "--model", "KV3"}, o, e));
}

TEST(CliIdentityOptions, OptionsOverTheSettingsOfEveryHost) {
  quillon_test::IsolateEnvironment();
  const std::string path = quillon_test::MakeTestDir("idopt") + "/QUILLON.INI";
  ASSERT_TRUE(quillon_test::WriteFileBytes(
      path, "[Identity]\r\nSnmpCommunity=fromfile\r\n[Identity h2]\r\nOrder=ipp\r\n"));
  const platform::ProfileFile ini(path);
  Options o;
  std::string e;
  ASSERT_TRUE(ParseArguments({"inventory", "h1", "h2"}, o, e));
  quillon::identity::Config c = IdentityConfigFor(o, ini, "h1", e);
  EXPECT_EQ(c.snmp.community, "fromfile");
  EXPECT_EQ(c.order, (std::vector<std::string>{"console", "ipp", "snmp"}));
  EXPECT_EQ(IdentityConfigFor(o, ini, "h2", e).order, (std::vector<std::string>{"ipp"}));

  ASSERT_TRUE(ParseArguments({"inventory", "h1", "--snmp-community", "opt", "--identity", "snmp",
                              "--snmp-user", "admin"},
                             o, e));
  c = IdentityConfigFor(o, ini, "h2", e);
  EXPECT_EQ(c.snmp.community, "opt");
  EXPECT_EQ(c.order, (std::vector<std::string>{"snmp"}));
  EXPECT_EQ(c.snmp.version, "3");  // a v3 user given means v3
}

namespace {

quillon::identity::Answer Said(const std::string& source, const std::string& model,
                      const std::string& version, long long uptime,
                      const std::string& serial = "") {
  quillon::identity::Answer a;
  a.reachable = true;
  a.source = source;
  a.model = model;
  a.version = version;
  a.uptimeSeconds = uptime;
  a.serial = serial;
  return a;
}

quillon::identity::Answer Silent() {
  quillon::identity::Answer a;
  a.failures.push_back({"snmp", "no_answer", "timeout", 0, {}});
  return a;
}

// The answers in turn, the last one again once they are used up.
IdentityAsk Script(std::vector<quillon::identity::Answer> answers, int* asked = nullptr) {
  auto left = std::make_shared<std::vector<quillon::identity::Answer>>(std::move(answers));
  auto count = std::make_shared<std::size_t>(0);
  return [left, count, asked] {
    if (asked) ++*asked;
    const std::size_t at = std::min(*count, left->size() - 1);
    ++*count;
    return (*left)[at];
  };
}

ExpectedIdentity Before(long long uptime, const std::string& serial = "") {
  ExpectedIdentity e;
  e.model = "KV3";
  e.serial = serial;
  e.uptimeSeconds = uptime;
  return e;
}

}  // namespace

// The restart is proven by the uptime going back, then the version decides.
TEST(CliVerifyRestart, TheVersionCountsOnlyAfterTheUptimeWentBack) {
  // Already naming the package's version, the old firmware still up: not
  // yet; silent while installing; back with a lower uptime: verified.
  int asked = 0;
  Verification v = VerifyRestart(Script({Said("snmp", "KV3", "3.01", 5000), Silent(),
                                         Said("snmp", "KV3", "3.01", 4)},
                                        &asked),
                                 "3.01", 5, 1, Before(4990));
  EXPECT_EQ(v.outcome, Verification::kVerified) << v.reason;
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(v.versionAfter, "3.01");
  EXPECT_EQ(v.source, "snmp");
  EXPECT_EQ(v.restart, "silent, then uptime 4990 s -> 4 s (snmp)");

  // Back at once, never silent: the lower uptime alone proves it.
  v = VerifyRestart(Script({Said("ipp", "KV3", "2.00", 5001), Said("ipp", "KV3", "3.01", 7)}),
                    "3.01", 5, 1, Before(5000));
  EXPECT_EQ(v.outcome, Verification::kVerified) << v.reason;
  EXPECT_EQ(v.restart, "uptime 5000 s -> 7 s (ipp)");

  // The package's version, but the uptime never went back: no restart.
  v = VerifyRestart(Script({Said("snmp", "KV3", "3.01", 5000)}), "3.01", 1, 5, Before(4990));
  EXPECT_EQ(v.outcome, Verification::kUnverified);
  EXPECT_NE(v.reason.find("no restart was seen"), std::string::npos) << v.reason;
  EXPECT_NE(v.reason.find("4990 s before, 5000 s after"), std::string::npos) << v.reason;

  // Restarted into the old version.
  v = VerifyRestart(Script({Said("snmp", "KV3", "2.00", 3)}), "3.01", 1, 5, Before(4990));
  EXPECT_EQ(v.outcome, Verification::kUnverified);
  EXPECT_NE(v.reason.find("still reports 2.00"), std::string::npos) << v.reason;
  EXPECT_NE(v.reason.find("it restarted: uptime 4990 s -> 3 s"), std::string::npos) << v.reason;
}

TEST(CliVerifyRestart, WithoutAnUptimeOnBothSidesTheVersionAloneDecides) {
  // The console tells no uptime (as always); nor a before that was not known.
  Verification v = VerifyRestart(Script({Said("console", "KV3", "3.01", -1)}), "3.01", 2, 1,
                                 Before(4990));
  EXPECT_EQ(v.outcome, Verification::kVerified) << v.reason;
  EXPECT_TRUE(v.restart.empty());
  v = VerifyRestart(Script({Said("snmp", "KV3", "3.01", 9000)}), "3.01", 2, 1, Before(-1));
  EXPECT_EQ(v.outcome, Verification::kVerified) << v.reason;
  // An answer without a version says why.
  quillon::identity::Answer mute = Said("snmp", "KV3", "", 3);
  mute.versionDetail = "no [SnmpFirmware] row says where KV3 keeps its version";
  v = VerifyRestart(Script({mute}), "3.01", 1, 5, Before(4990));
  EXPECT_EQ(v.outcome, Verification::kUnverified);
  EXPECT_NE(v.reason.find("tells no version: no [SnmpFirmware] row"), std::string::npos) << v.reason;
  // Never answering, and a package without a version to compare.
  v = VerifyRestart(Script({Silent()}), "3.01", 1, 5, Before(4990));
  EXPECT_EQ(v.outcome, Verification::kUnverified);
  EXPECT_NE(v.reason.find("did not answer within 1 s"), std::string::npos) << v.reason;
  v = VerifyRestart(Script({Silent()}), "", 1, 5, Before(4990));
  EXPECT_EQ(v.outcome, Verification::kNotPossible);
}

TEST(CliVerifyRestart, AnotherPrinterAtTheAddressEndsItUnverifiedAtOnce) {
  int asked = 0;
  Verification v = VerifyRestart(Script({Silent(), Said("snmp", "KV3", "3.01", 2, "SN-OTHER")}, &asked),
                                 "3.01", 30, 1, Before(4990, "SN-1"));
  EXPECT_EQ(v.outcome, Verification::kUnverified);
  EXPECT_NE(v.reason.find("another serial: SN-OTHER (was SN-1)"), std::string::npos) << v.reason;
  EXPECT_EQ(asked, 2);
  EXPECT_LT(v.seconds, 5);
  v = VerifyRestart(Script({Said("ipp", "RX-140", "3.01", 2)}), "3.01", 30, 1, Before(4990));
  EXPECT_EQ(v.outcome, Verification::kUnverified);
  EXPECT_NE(v.reason.find("another model: RX-140 (was KV3)"), std::string::npos) << v.reason;
  ExpectedIdentity byUuid = Before(10);
  byUuid.uuid = "urn:uuid:AAAA";
  EXPECT_EQ(IdentityChange(byUuid, "KV3", "", "urn:uuid:aaaa"), "");
  EXPECT_NE(IdentityChange(byUuid, "KV3", "", "urn:uuid:bbbb").find("another UUID"), std::string::npos);
  EXPECT_EQ(IdentityChange(byUuid, "KV3", "", ""), "");  // the source tells none
}

// The plan's pin: the model, then the serial or UUID it recorded.
TEST(CliPlanPin, ASerialOrUuidThatChangedOrCannotBeConfirmedIsAnotherPrinter) {
  PlannedPrinter p;
  p.consoleModel = "KV3";
  p.serial = "KV3-SN-7";
  std::string why;
  EXPECT_TRUE(SameIdentity(p, true, "KV3", "KV3-SN-7", "", why)) << why;
  EXPECT_FALSE(SameIdentity(p, true, "KV3", "KV3-SN-8", "", why));
  EXPECT_EQ(why, "the serial number changed from KV3-SN-7 to KV3-SN-8");
  EXPECT_FALSE(SameIdentity(p, true, "KV3", "", "", why));
  EXPECT_NE(why.find("cannot be confirmed"), std::string::npos) << why;
  EXPECT_FALSE(SameIdentity(p, false, "", "", "", why));
  EXPECT_NE(why.find("no longer answers"), std::string::npos) << why;
  EXPECT_FALSE(SameIdentity(p, true, "RX-140", "KV3-SN-7", "", why));
  p.serial.clear();
  p.uuid = "urn:uuid:6F1E";
  EXPECT_TRUE(SameIdentity(p, true, "KV3", "", "urn:uuid:6f1e", why)) << why;
  EXPECT_FALSE(SameIdentity(p, true, "KV3", "", "urn:uuid:0000", why));
  EXPECT_NE(why.find("UUID changed"), std::string::npos) << why;
  // A plan that pinned neither (a console printer) checks the model alone.
  p.uuid.clear();
  EXPECT_TRUE(SameIdentity(p, true, "KV3", "ANY", "ANY", why)) << why;
}

TEST(CliIdentityShape, AnAnswerInTheConsolesShapeKeepsTheConsolesCode) {
  quillon::identity::Answer a;
  a.failures.push_back({"console", "no_answer", "not a printer", 0x2000000A, "banner"});
  a.failures.push_back({"ipp", "no_answer", "connect refused", 0, {}});
  ConsoleAnswer c = AsConsoleAnswer(a);
  EXPECT_FALSE(c.reachable);
  EXPECT_EQ(c.error, 0x2000000Au);
  EXPECT_EQ(c.detail, "banner");
  EXPECT_EQ(c.message, "console: not a printer; ipp: connect refused");
  // Not asked (no console in the order): no console code at all.
  a.failures.erase(a.failures.begin());
  EXPECT_EQ(AsConsoleAnswer(a).error, 0u);
  a = Said("ipp", "KV3", "3.05", 10);
  c = AsConsoleAnswer(a);
  EXPECT_TRUE(c.reachable);
  EXPECT_EQ(c.model, "KV3");
  EXPECT_EQ(c.version, "3.05");
}
