// Queue names and queue data read from the private cupsd.

#include "platform/Spooler.h"

#include "tests/support/TestEnv.h"
#include "tests/support/CupsTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
#include <strings.h>

using namespace quillon_test;

namespace {

class SpoolerQueues : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(CupsdDir().empty()) << "the private cupsd fixture did not run";
    const std::string dead = SocketUri(UnusedPort());
    ASSERT_TRUE(AddQueue("qt_rx120", dead, "HALVORN RX-120"));
    ASSERT_TRUE(AddQueue("Qt_Member", dead));
    ASSERT_TRUE(AddQueue("qt_lp0", "parallel:/dev/lp0"));
    ASSERT_TRUE(AddClass("qt_group", {"qt_rx120", "Qt_Member"}));
  }
};

std::size_t IndexOf(const std::vector<std::string>& v, const std::string& s) {
  return static_cast<std::size_t>(std::find(v.begin(), v.end(), s) - v.begin());
}

}  // namespace

TEST_F(SpoolerQueues, NamesListQueuesAndClassesInTheServersOrder) {
  const auto names = platform::EnumPrinterNames();
  for (const char* n : {"qt_rx120", "Qt_Member", "qt_lp0", "qt_group"})
    EXPECT_LT(IndexOf(names, n), names.size()) << n;
  // The server lists by name without regard to case.
  EXPECT_LT(IndexOf(names, "qt_group"), IndexOf(names, "qt_lp0"));
  EXPECT_LT(IndexOf(names, "qt_lp0"), IndexOf(names, "Qt_Member"));
  EXPECT_LT(IndexOf(names, "Qt_Member"), IndexOf(names, "qt_rx120"));
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), [](const auto& a, const auto& b) {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  }));
  // Nothing twice.
  auto sorted = names;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::unique(sorted.begin(), sorted.end()), sorted.end());
}

TEST_F(SpoolerQueues, UnreachableServerGivesNoNamesPromptly) {
  // The client reads CUPS_SERVER once per thread, so ask from a fresh one.
  const std::string saved = std::getenv("CUPS_SERVER") ? std::getenv("CUPS_SERVER") : "";
  setenv("CUPS_SERVER", (TestRoot() + "/no-such.sock").c_str(), 1);
  auto asked = std::async(std::launch::async, [] { return platform::EnumPrinterNames(); });
  // The answer comes by itself, well within the test's own deadline.
  const bool answered = asked.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  auto names = asked.get();
  auto opened = std::async(std::launch::async, [] {
                  platform::PrinterHandle h;
                  return h.Open("qt_rx120");
                }).get();
  setenv("CUPS_SERVER", saved.c_str(), 1);
  EXPECT_TRUE(names.empty());
  EXPECT_FALSE(opened);
  EXPECT_TRUE(answered);
}

TEST_F(SpoolerQueues, QueueDataComesFromItsPpdAndDevice) {
  ASSERT_EQ(RunCommand("lpadmin -p qt_rx120 -L 'Room 3F' -D 'Line one' >/dev/null 2>&1"), 0);
  platform::PrinterHandle h;
  ASSERT_TRUE(h.Open("qt_rx120"));
  platform::SpoolerPrinterData d;
  ASSERT_TRUE(h.GetData(d));
  EXPECT_EQ(d.name, "qt_rx120");
  EXPECT_EQ(d.driver, "HALVORN RX-120");
  EXPECT_EQ(d.ports.rfind("socket://127.0.0.1:", 0), 0u) << d.ports;
  EXPECT_EQ(d.location, "Room 3F");
  EXPECT_EQ(d.comment, "Line one");
  EXPECT_TRUE(d.local);
}

TEST_F(SpoolerQueues, ClassPortsAreItsMembersDevices) {
  platform::PrinterHandle member;
  platform::SpoolerPrinterData m1, m2, cls;
  ASSERT_TRUE(member.Open("qt_rx120"));
  ASSERT_TRUE(member.GetData(m1));
  ASSERT_TRUE(member.Open("Qt_Member"));
  ASSERT_TRUE(member.GetData(m2));

  platform::PrinterHandle h;
  ASSERT_TRUE(h.Open("qt_group"));
  ASSERT_TRUE(h.GetData(cls));
  EXPECT_EQ(cls.name, "qt_group");
  EXPECT_EQ(cls.ports, m1.ports + "," + m2.ports);
  EXPECT_TRUE(cls.local);
  bool multiple = false;
  EXPECT_EQ(platform::FirstPort(cls.ports, &multiple), m1.ports);
  EXPECT_TRUE(multiple);
}

TEST_F(SpoolerQueues, ParallelQueueIsOnLpt1) {
  platform::PrinterHandle h;
  platform::SpoolerPrinterData d;
  ASSERT_TRUE(h.Open("qt_lp0"));
  ASSERT_TRUE(h.GetData(d));
  EXPECT_EQ(d.ports, "parallel:/dev/lp0");
  bool multiple = true;
  EXPECT_EQ(platform::LptNumberOfPort(platform::FirstPort(d.ports, &multiple)), 1);
  EXPECT_FALSE(multiple);
  // A raw queue without a PPD names no model.
  EXPECT_EQ(d.driver.find("HALVORN"), std::string::npos);
}

TEST_F(SpoolerQueues, MissingQueueDoesNotOpen) {
  platform::PrinterHandle h;
  EXPECT_FALSE(h.Open("qt_no_such_queue"));
  EXPECT_FALSE(h.IsOpen());
  EXPECT_FALSE(h.Open(""));
  EXPECT_FALSE(h.Open("ftp://10.1.2.3/vesta0"));
  platform::SpoolerPrinterData d;
  EXPECT_FALSE(h.GetData(d));
  EXPECT_EQ(h.StartRawDoc("x"), 0);

  // A queue that existed once is gone for a handle opened after its removal.
  ASSERT_TRUE(AddQueue("qt_gone", "parallel:/dev/lp1"));
  ASSERT_TRUE(h.Open("qt_gone"));
  DeleteQueue("qt_gone");
  platform::PrinterHandle again;
  EXPECT_FALSE(again.Open("qt_gone"));
  EXPECT_FALSE(h.GetData(d));
}

namespace {

const platform::SpoolerPrinterData* Find(const std::vector<platform::SpoolerPrinterData>& list,
                                         const std::string& name) {
  for (const auto& d : list)
    if (d.name == name) return &d;
  return nullptr;
}

}  // namespace

TEST_F(SpoolerQueues, OnePassListGivesEveryQueuesDataInTheNamesOrderWithOneRequest) {
  ASSERT_EQ(RunCommand("lpadmin -p qt_rx120 -L 'Room 3F' -D 'Line one' >/dev/null 2>&1"), 0);
  const platform::SpoolerTraffic before = platform::SpoolerTrafficSoFar();
  std::vector<platform::SpoolerPrinterData> list;
  ASSERT_TRUE(platform::ListPrinterData(list));
  const platform::SpoolerTraffic after = platform::SpoolerTrafficSoFar();
  EXPECT_EQ(after.requests - before.requests, 1);
  EXPECT_EQ(after.connections - before.connections, 1);

  std::vector<std::string> listed;
  for (const auto& d : list) listed.push_back(d.name);
  EXPECT_EQ(listed, platform::EnumPrinterNames());

  // Each queue's data is what its own handle reads, class ports included.
  for (const char* name : {"qt_rx120", "Qt_Member", "qt_lp0", "qt_group"}) {
    const platform::SpoolerPrinterData* one = Find(list, name);
    ASSERT_NE(one, nullptr) << name;
    platform::PrinterHandle h;
    platform::SpoolerPrinterData d;
    ASSERT_TRUE(h.Open(name));
    ASSERT_TRUE(h.GetData(d));
    EXPECT_EQ(one->driver, d.driver) << name;
    EXPECT_EQ(one->ports, d.ports) << name;
    EXPECT_EQ(one->location, d.location) << name;
    EXPECT_EQ(one->comment, d.comment) << name;
    EXPECT_EQ(one->local, d.local) << name;
  }
  EXPECT_EQ(Find(list, "qt_rx120")->location, "Room 3F");
  EXPECT_NE(Find(list, "qt_group")->ports.find(','), std::string::npos);
}

TEST_F(SpoolerQueues, OnePassListFromAnUnreachableServerFailsAndKeepsTheList) {
  const std::string saved = std::getenv("CUPS_SERVER") ? std::getenv("CUPS_SERVER") : "";
  setenv("CUPS_SERVER", (TestRoot() + "/no-such.sock").c_str(), 1);
  std::vector<platform::SpoolerPrinterData> list(1);
  list[0].name = "kept";
  const bool listed =
      std::async(std::launch::async, [&list] { return platform::ListPrinterData(list); }).get();
  setenv("CUPS_SERVER", saved.c_str(), 1);
  EXPECT_FALSE(listed);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, "kept");
}
