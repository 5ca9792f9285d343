// The identity's pure parts: the order of sources, the settings with a
// printer's own section over them, IEEE 1284 device IDs, the main entry of
// IPP's firmware lists, the SNMP firmware rules and the model table.
#include <gtest/gtest.h>

#include "core/app/ModelTable.h"
#include "core/identity/PrinterIdentity.h"
#include "platform/ProfileFile.h"
#include "tests/support/TestEnv.h"

using quillon::MakeModelEntry;

using namespace quillon::identity;

TEST(IdentityOrder, TakesEachSourceOnceInTheGivenOrder) {
  std::vector<std::string> order;
  std::string error;
  ASSERT_TRUE(ParseOrder("snmp, ipps,console", order, error)) << error;
  EXPECT_EQ(order, (std::vector<std::string>{"snmp", "ipps", "console"}));
  EXPECT_FALSE(ParseOrder("ipp,telnet", order, error));
  EXPECT_NE(error.find("telnet"), std::string::npos);
  EXPECT_FALSE(ParseOrder("ipp,ipp", order, error));
  EXPECT_FALSE(ParseOrder("", order, error));
  EXPECT_FALSE(ParseOrder("ipp,", order, error));
  // The default when nothing is chosen.
  EXPECT_EQ(Config().order, (std::vector<std::string>{"console", "ipp", "snmp"}));
}

TEST(IdentityConfig, APrintersSectionOverridesTheCommonOneAndNothingIsAssumed) {
  quillon_test::IsolateEnvironment();
  const std::string path = quillon_test::MakeTestDir("id") + "/QUILLON.INI";
  ASSERT_TRUE(quillon_test::WriteFileBytes(path,
      "[Identity]\r\nOrder=snmp,ipp\r\nSnmpCommunity=fleet\r\nTimeoutMs=700\r\n"
      "[Identity 10.0.0.7]\r\nSnmpVersion=v3\r\nSnmpUser=admin\r\nSnmpAuth=SHA-256:pa:ss:word\r\n"
      "SnmpPriv=AES:secret12\r\nIppPort=8631\r\nRetries=9\r\n"
      "[SnmpFirmware]\r\nRX-140=sysdescr:V([0-9.]+)\r\n*=oid:1.3.6.1.4.1.1.1\r\n"));
  const platform::ProfileFile ini(path);
  std::string error;
  const Config common = ReadConfig(ini, "10.0.0.8", error);
  EXPECT_TRUE(error.empty()) << error;
  EXPECT_EQ(common.order, (std::vector<std::string>{"snmp", "ipp"}));
  EXPECT_EQ(common.snmp.community, "fleet");
  EXPECT_EQ(common.snmp.version, "2c");
  EXPECT_EQ(common.timeoutMs, 700);
  EXPECT_EQ(common.retries, 1);
  EXPECT_EQ(common.ippPort, 631);

  const Config own = ReadConfig(ini, "10.0.0.7", error);
  EXPECT_NE(error.find("Retries=9"), std::string::npos) << error;  // told, default kept
  EXPECT_EQ(own.retries, 1);
  EXPECT_EQ(own.snmp.version, "3");
  EXPECT_EQ(own.snmp.user, "admin");
  EXPECT_EQ(own.snmp.authProtocol, "SHA-256");
  EXPECT_EQ(own.snmp.authPass, "pa:ss:word");  // only the first ":" splits
  EXPECT_EQ(own.snmp.privProtocol, "AES");
  EXPECT_EQ(own.ippPort, 8631);
  EXPECT_EQ(own.timeoutMs, 700);  // from the common section

  EXPECT_EQ(FirmwareRule(own, "rx-140"), "sysdescr:V([0-9.]+)");
  EXPECT_EQ(FirmwareRule(own, "KV3"), "oid:1.3.6.1.4.1.1.1");
  EXPECT_EQ(FirmwareRule(own, "KV3", false), "");

  // No community anywhere: none is made up.
  ASSERT_TRUE(quillon_test::WriteFileBytes(path, "[Identity]\r\nOrder=snmp\r\n"));
  const Config bare = ReadConfig(platform::ProfileFile(path), "h", error);
  EXPECT_TRUE(bare.snmp.community.empty());
}

TEST(IdentityDeviceId, FieldsByShortOrLongNameBlanksTrimmed) {
  const std::string id = "MANUFACTURER:HALVORN ; MDL: KV3 ;CMD:PJL,PCL;";
  EXPECT_EQ(DeviceIdField(id, "MFG"), "HALVORN");
  EXPECT_EQ(DeviceIdField(id, "MDL"), "KV3");
  EXPECT_EQ(DeviceIdField("MODEL:RX-140", "MDL"), "RX-140");  // no trailing ";"
  EXPECT_EQ(DeviceIdField(id, "SN"), "");
  EXPECT_EQ(DeviceIdField("", "MDL"), "");
}

TEST(IdentityFirmware, TheMainEntryIsNamedSoOrTheFirst) {
  EXPECT_EQ(MainFirmwareIndex({"Boot", "Firmware", "Engine"}), 1);
  EXPECT_EQ(MainFirmwareIndex({"bootrom", "main controller"}), 1);
  EXPECT_EQ(MainFirmwareIndex({"Engine", "Fax"}), 0);
  EXPECT_EQ(MainFirmwareIndex({}), -1);

  EXPECT_EQ(VersionFromText("HALVORN RX-140 Firmware V2.10 (if 1.4)", "firmware v([0-9.]+)"), "2.10");
  EXPECT_EQ(VersionFromText("KV3 3.02", "[0-9]+\\.[0-9]+"), "3.02");  // no group: the match
  EXPECT_EQ(VersionFromText("Model KX", "V([0-9.]+)"), "");
  EXPECT_EQ(VersionFromText("KV3", "(unclosed"), "");  // a bad pattern matches nothing
}

TEST(IdentityModelTable, TheFirstNameTheTableKnowsAsItSpellsIt) {
  TDLPrinterList models;
  models.Add(MakeModelEntry("HALVORN KV3", "8,1"));
  models.Add(MakeModelEntry("RX-140", "4"));
  EXPECT_EQ(TableModel(models, {"", "halvorn kv3 ", "KV3"}), "HALVORN KV3");
  EXPECT_EQ(TableModel(models, {"KV9", "rx-140"}), "RX-140");
  EXPECT_EQ(TableModel(models, {"", "  ", "Other Printer", "KV9"}), "Other Printer");
  EXPECT_EQ(TableModel(models, {"", ""}), "");
}

TEST(IdentityAsk, TheFirstSourceThatNamesTheModelWinsAndEachFailureIsKept) {
  TDLPrinterList models;
  models.Add(MakeModelEntry("RX-140", "4"));
  Config c;
  c.order = {"snmp", "console"};  // no community: SNMP is a setup failure, asked at once
  int asked = 0;
  const ConsoleAsk console = [&](const std::string& host) {
    ++asked;
    ConsoleReply r;
    r.reachable = host == "up";
    r.model = "rx-140";
    r.version = "2.10";
    r.cause = "the printer's console does not answer";
    return r;
  };
  Answer a = Identify("up", c, models, console, nullptr);
  ASSERT_TRUE(a.reachable);
  EXPECT_EQ(a.source, "console");
  EXPECT_EQ(a.model, "RX-140");
  EXPECT_EQ(a.version, "2.10");
  ASSERT_EQ(a.failures.size(), 1u);
  EXPECT_EQ(a.failures[0].source, "snmp");
  EXPECT_EQ(a.failures[0].kind, "setup");
  EXPECT_NE(a.failures[0].cause.find("community"), std::string::npos);

  c.order = {"console"};
  a = Identify("down", c, models, console, nullptr);
  EXPECT_FALSE(a.reachable);
  ASSERT_EQ(a.failures.size(), 1u);
  EXPECT_EQ(a.failures[0].kind, "no_answer");

  // An abort asked before the first source asks none.
  asked = 0;
  a = Identify("up", c, models, console, [] { return true; });
  EXPECT_TRUE(a.interrupted);
  EXPECT_FALSE(a.reachable);
  EXPECT_EQ(asked, 0);
}
