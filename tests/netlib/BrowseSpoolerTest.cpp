// The browse export against the private print server: queues that print
// through another server are offered, local ones are not, and the chosen
// name is one the spooler knows.
#include <gtest/gtest.h>

#include <QDialog>
#include <QTreeWidget>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "netlib/browse/BrowseDialog.h"
#include "netlib/quillon.h"
#include "tests/support/TestEnv.h"

using namespace quillon::net;

namespace {

std::string Harness() { return std::string(QUILLON_SOURCE_DIR) + "/scripts/cupsd-harness.sh"; }

bool AddQueue(const std::string& name, const std::string& uri) {
  const char* dir = std::getenv("QUILLON_CUPSD_DIR");
  if (!dir) return false;
  return quillon_test::RunCommand(Harness() + " addqueue '" + dir + "' '" + name + "' '" + uri +
                                  "' >/dev/null") == 0;
}

bool Listed(const std::vector<BrowsePrinter>& printers, const std::string& name) {
  return std::any_of(printers.begin(), printers.end(),
                     [&](const BrowsePrinter& p) { return p.name == name; });
}

}  // namespace

TEST(BrowseSpooler, OffersQueuesOfOtherServersAndReturnsANameTheSpoolerOpens) {
  ASSERT_TRUE(AddQueue("BrowseLocal", "socket://127.0.0.1:9/?snmp=false"));
  ASSERT_TRUE(AddQueue("BrowseShared", "ipp://127.0.0.1:1/printers/shared"));

  const auto printers = EnumNetworkPrinters(200);
  EXPECT_TRUE(Listed(printers, "BrowseShared"));
  EXPECT_FALSE(Listed(printers, "BrowseLocal"));

  SetBrowseRunner([](PrinterBrowseDialog& d) {
    const auto rows = d.list()->findItems(QStringLiteral("BrowseShared"), Qt::MatchExactly, 0);
    if (rows.isEmpty()) return int(QDialog::Rejected);
    d.list()->setCurrentItem(rows.first());
    return int(QDialog::Accepted);
  });
  char path[64] = {};
  uint32_t length = 0;
  const int chosen = QUILLON_SelectPrinter(nullptr, path, sizeof path, &length);
  SetBrowseRunner({});
  ASSERT_EQ(chosen, 1);
  EXPECT_EQ(std::string(path), "BrowseShared");
  EXPECT_EQ(length, 12u);
  EXPECT_EQ(quillon_test::RunCommand("lpstat -p BrowseShared >/dev/null 2>&1"), 0);
}
