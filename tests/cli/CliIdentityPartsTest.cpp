// The identity options of inventory and the settings under them.
#include <gtest/gtest.h>

#include "cli/Arguments.h"
#include "cli/IdentityProbe.h"
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
  EXPECT_FALSE(ParseArguments({"download", "P.RXF", "--printer", "q", "--identity", "ipp"}, o, e));
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
  identity::Config c = IdentityConfigFor(o, ini, "h1", e);
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
