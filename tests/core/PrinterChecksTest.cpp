// The questions about a printer answered from its record alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/app/ModelTable.h"
#include "core/app/PrinterEntry.h"
#include "core/app/TextUtil.h"

using quillon::IsOnParallelPort;
using quillon::MakeModelEntry;
using quillon::SetField;
using quillon::kEntryTextMax;

namespace {

class PrinterChecks : public ::testing::Test {
 protected:
  void SetUp() override {
    models_.Add(MakeModelEntry("HALVORN Printer Driver", "0"));
    models_.Add(MakeModelEntry("RX-120", "2"));
    models_.Add(MakeModelEntry("HALVORN RX-125", "2"));
    models_.Add(MakeModelEntry("RX-130", "3"));
    models_.Add(MakeModelEntry("KV3", "8,1"));
    models_.Add(MakeModelEntry("Package model", "PKG.ICO,1"));
    models_.Add(MakeModelEntry("Same icon", "PKG.ICO"));
  }

  TPrinterEntry Record(const std::string& driver, const std::string& port = "socket://h:9100") {
    TPrinterEntry e{};
    SetField(e.Driver, driver, kEntryTextMax);
    SetField(e.Port, port, kEntryTextMax);
    ResolveModel(models_, e);
    return e;
  }

  TDLPrinterList models_;
};

TEST_F(PrinterChecks, ParallelPortIsTheFirstOfTheList) {
  EXPECT_TRUE(IsOnParallelPort(Record("x", "LPT1:")));
  EXPECT_TRUE(IsOnParallelPort(Record("x", ",,parallel:/dev/lp0,socket://h")));
  EXPECT_FALSE(IsOnParallelPort(Record("x", "socket://h,LPT1:")));
  EXPECT_FALSE(IsOnParallelPort(Record("x", "")));
  // A list cut at the field's end keeps its first port whole.
  EXPECT_TRUE(IsOnParallelPort(Record("x", "LPT2:," + std::string(400, 'a'))));
}

TEST_F(PrinterChecks, UpdateOverConnectionNeedsAKnownModelAndTheFlagOrAParallelPort) {
  EXPECT_EQ(CanUpdateOverConnection(Record("KV3")), 1);             // flag, network port
  EXPECT_EQ(CanUpdateOverConnection(Record("kv3", "LPT1:")), 1);    // letter case ignored
  EXPECT_EQ(CanUpdateOverConnection(Record("RX-120")), 0);          // no flag, network port
  EXPECT_EQ(CanUpdateOverConnection(Record("RX-120", "LPT9:")), 1); // no flag, parallel port
  EXPECT_EQ(CanUpdateOverConnection(Record("HALVORN Printer Driver", "LPT1:")), 1);  // code 0
  EXPECT_EQ(CanUpdateOverConnection(Record("ACME 9", "LPT1:")), 0); // unlisted
  // Only the resolved fields count, not the driver text.
  TPrinterEntry unresolved{};
  SetField(unresolved.Driver, "KV3");
  EXPECT_EQ(CanUpdateOverConnection(unresolved), 0);
}

TEST_F(PrinterChecks, PackageTargetMatchesByNonzeroCodeOrByCodeText) {
  const std::vector<std::string> rx = {"RX-130", "RX-120"};
  EXPECT_EQ(IsPackageTarget(Record("HALVORN RX-125"), rx, models_), 1);  // same code 2
  EXPECT_EQ(IsPackageTarget(Record("KV3"), rx, models_), 0);
  EXPECT_EQ(IsPackageTarget(Record("KV3"), {}, models_), 0);             // no targets
  // Code 0 never matches by number, only by its code text.
  EXPECT_EQ(IsPackageTarget(Record("HALVORN Printer Driver"), {"ACME 9"}, models_), 0);
  EXPECT_EQ(IsPackageTarget(Record("HALVORN Printer Driver"), {"halvorn printer driver"},
                            models_),
            1);
  // Two unlisted models share the empty code text.
  EXPECT_EQ(IsPackageTarget(Record("ACME 9"), {"RX-130", "Nobody"}, models_), 1);
  EXPECT_EQ(IsPackageTarget(Record("ACME 9"), rx, models_), 0);
  // Models whose code text names an icon file match by that text, never by
  // an image number.
  EXPECT_EQ(IsPackageTarget(Record("Same icon"), {"Package model"}, models_), 1);
  EXPECT_EQ(IsPackageTarget(Record("Package model"), rx, models_), 0);
}

}  // namespace
