#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "core/app/Funcs.h"
#include "core/app/TextUtil.h"
#include "platform/Spooler.h"
#include "tests/support/TestEnv.h"

using platform::Utf8FitLength;
using quillon::CopyText;
using quillon::LeadingInt;
using quillon::Tokenize;

TEST(ExpandLineBreaks, EachBackslashNBecomesOneCarriageReturn) {
  EXPECT_EQ(ExpandLineBreaks("a\\nb\\nc\\n"), "a\rb\rc\r");
  EXPECT_EQ(ExpandLineBreaks("lone \\ and n stay"), "lone \\ and n stay");
  EXPECT_EQ(ExpandLineBreaks("\\\\n"), "\\\r");
  EXPECT_EQ(ExpandLineBreaks("end\\"), "end\\");
  EXPECT_EQ(ExpandLineBreaks("\\N"), "\\N");
  EXPECT_EQ(ExpandLineBreaks(""), "");
  EXPECT_EQ(ExpandLineBreaks("ﾌﾟﾘﾝﾀ\\nﾃﾞｰﾀ"), "ﾌﾟﾘﾝﾀ\rﾃﾞｰﾀ");
}

TEST(TextUtil, CutsAndTokens) {
  EXPECT_EQ(Utf8FitLength("abc", 5), 3u);
  EXPECT_EQ(Utf8FitLength("ab\xEF\xBE\x8C", 4), 2u);
  EXPECT_EQ(Utf8FitLength("ab\xEF\xBE\x8C", 5), 5u);
  EXPECT_EQ(Utf8FitLength("\xC3\xA9x", 1), 0u);
  char small[4];
  CopyText(small, sizeof small, "abcdef", 100);
  EXPECT_STREQ(small, "abc");
  CopyText(small, sizeof small, "ﾌ", 100);
  EXPECT_STREQ(small, "ﾌ");
  CopyText(small, sizeof small, "aﾌ", 100);
  EXPECT_STREQ(small, "a");
  EXPECT_EQ(Tokenize(",,a,,b,", ','), (std::vector<std::string_view>{"a", "b"}));
  EXPECT_TRUE(Tokenize(",,,", ',').empty());
  EXPECT_EQ(LeadingInt(" -12x"), -12);
  EXPECT_EQ(LeadingInt("x1"), 0);
  EXPECT_EQ(LeadingInt("99999999999"), 2147483647);
  EXPECT_EQ(LeadingInt("-99999999999"), -2147483647 - 1);
}

// Printer queues of the private spooler started for the tests.
class SpoolerHelpers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char* dir = std::getenv("QUILLON_CUPSD_DIR");
    if (!dir) return;
    present_ = true;
    const std::string harness = std::string(QUILLON_SOURCE_DIR) + "/scripts/cupsd-harness.sh";
    const std::string d = dir;
    auto add = [&](const std::string& args) {
      return quillon_test::RunCommand(harness + " " + args + " >/dev/null 2>&1") == 0;
    };
    ready_ = add("addqueue " + d + " app_lpt parallel:/dev/lp0") &&
             add("addqueue " + d + " app_lpt9 parallel:/dev/lp8") &&
             add("addqueue " + d + " app_lp10 parallel:/dev/lp9") &&
             add("addqueue " + d + " app_net 'socket://127.0.0.1:9/?snmp=false'") &&
             add("addclass " + d + " app_lpt_first app_lpt app_net") &&
             add("addclass " + d + " app_net_first app_net app_lpt");
  }
  void SetUp() override {
    // Outside CTest there is no private spooler; inside, it must work.
    if (!present_) GTEST_SKIP() << "private spooler not started";
    ASSERT_TRUE(ready_) << "queues could not be added to the private spooler";
  }
  static bool present_;
  static bool ready_;
};
bool SpoolerHelpers::present_ = false;
bool SpoolerHelpers::ready_ = false;

TEST_F(SpoolerHelpers, PortFlagsOfQueuesAndClasses) {
  EXPECT_EQ(GetPortFlags("app_lpt"), PORT_LOCAL | PORT_LPT);
  EXPECT_EQ(GetPortFlags("app_lpt9"), PORT_LOCAL | PORT_LPT);
  EXPECT_EQ(GetPortFlags("app_lp10"), PORT_LOCAL);
  EXPECT_EQ(GetPortFlags("app_net"), PORT_LOCAL);
  EXPECT_EQ(GetPortFlags("app_lpt_first"), PORT_LOCAL | PORT_MULTIPLE | PORT_LPT);
  EXPECT_EQ(GetPortFlags("app_net_first"), PORT_LOCAL | PORT_MULTIPLE);
  EXPECT_EQ(GetPortFlags("no_such_queue"), 0);
  EXPECT_EQ(GetPortFlags("ftp://10.0.0.1/vesta0"), 0);
  EXPECT_EQ(GetPortFlags(""), 0);
  EXPECT_EQ(GetPortFlags(std::string(300, 'q')), 0);
}

// The download's checks read the port flags of every printer; an FTP
// printer's cost no round trip to a print server that may be slow or away.
TEST(PortFlags, AnFtpPrinterIsNotAskedOfThePrintServer) {
  const platform::SpoolerTraffic before = platform::SpoolerTrafficSoFar();
  EXPECT_EQ(GetPortFlags("ftp://10.0.0.1/vesta0"), 0);
  EXPECT_EQ(GetPortFlags("ftp://[::1]:2121/vesta0"), 0);
  const platform::SpoolerTraffic after = platform::SpoolerTrafficSoFar();
  EXPECT_EQ(after.connections, before.connections);
  EXPECT_EQ(after.requests, before.requests);
}

TEST_F(SpoolerHelpers, PrinterNamesAreAppended) {
  std::vector<std::string> names = {"kept"};
  EXPECT_EQ(EnumPrinterNames(names), 0);
  ASSERT_GE(names.size(), 7u);
  EXPECT_EQ(names.front(), "kept");
  for (const char* q : {"app_lpt", "app_net", "app_lpt_first", "app_net_first"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), q), names.end()) << q;
  }
}
