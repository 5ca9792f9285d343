// Which port texts stand for a parallel port, and how a port list splits.

#include "platform/Spooler.h"

#include <gtest/gtest.h>

using platform::FirstPort;
using platform::LptNumberOfPort;

TEST(SpoolerPorts, LptNamesOneToNineInAnyCase) {
  EXPECT_EQ(LptNumberOfPort("LPT1:"), 1);
  EXPECT_EQ(LptNumberOfPort("lpt1:"), 1);
  EXPECT_EQ(LptNumberOfPort("LpT9:"), 9);
  EXPECT_EQ(LptNumberOfPort("LPT0:"), 0);
  EXPECT_EQ(LptNumberOfPort("LPT10:"), 0);
  EXPECT_EQ(LptNumberOfPort("LPT1"), 0);
  EXPECT_EQ(LptNumberOfPort("LPT1: "), 0);
  EXPECT_EQ(LptNumberOfPort("COM1:"), 0);
  EXPECT_EQ(LptNumberOfPort(""), 0);
}

TEST(SpoolerPorts, ParallelDevicesCountFromLpt1) {
  EXPECT_EQ(LptNumberOfPort("parallel:/dev/lp0"), 1);
  EXPECT_EQ(LptNumberOfPort("parallel:/dev/lp8"), 9);
  EXPECT_EQ(LptNumberOfPort("PARALLEL:/dev/lp1"), 2);
  EXPECT_EQ(LptNumberOfPort("parallel:/dev/lp9"), 0);
  EXPECT_EQ(LptNumberOfPort("parallel:/dev/lp10"), 0);
  EXPECT_EQ(LptNumberOfPort("parallel:/dev/lp"), 0);
  EXPECT_EQ(LptNumberOfPort("parallel:/dev/usb/lp0"), 0);
  EXPECT_EQ(LptNumberOfPort("usb://HALVORN/RX-120"), 0);
  EXPECT_EQ(LptNumberOfPort("socket://10.0.0.1:9100"), 0);
}

TEST(SpoolerPorts, FirstPortSkipsSeparatorsAndTellsAboutASecond) {
  bool multiple = true;
  EXPECT_EQ(FirstPort("LPT1:", &multiple), "LPT1:");
  EXPECT_FALSE(multiple);
  EXPECT_EQ(FirstPort("LPT1:,COM1:", &multiple), "LPT1:");
  EXPECT_TRUE(multiple);
  EXPECT_EQ(FirstPort(",,COM1:,,LPT1:", &multiple), "COM1:");
  EXPECT_TRUE(multiple);
  EXPECT_EQ(FirstPort("parallel:/dev/lp0,,,", &multiple), "parallel:/dev/lp0");
  EXPECT_FALSE(multiple);
  EXPECT_EQ(FirstPort(",,,", &multiple), "");
  EXPECT_FALSE(multiple);
  EXPECT_EQ(FirstPort("", nullptr), "");
}
