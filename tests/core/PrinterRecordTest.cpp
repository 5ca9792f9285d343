// The printer record of spooler queues (private cupsd) and of FTP printers
// (the printer simulator's console), and the questions asked about them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/app/Funcs.h"
#include "core/app/PrinterRows.h"
#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"
#include "core/package/DownDocFile.h"
#include "platform/Spooler.h"
#include "tests/support/TestEnv.h"
#include "tests/support/PrinterSimulator.h"
#include "tests/support/CupsTestSupport.h"

using quillon::PrinterRow;
using quillon::ReadPrinterRows;
using quillon::SetField;

using namespace quillon_test;

namespace {

std::string F(const char* field) { return std::string(field); }

class PrinterRecord : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_FALSE(CupsdDir().empty()) << "the private cupsd fixture did not run";
    const std::string dead = SocketUri(UnusedPort());
    ASSERT_TRUE(AddQueue("qr_rx110", dead, "HALVORN RX-110"));
    ASSERT_TRUE(AddQueue("qr_kv3", dead, "HALVORN CORVIA KV3"));
    ASSERT_TRUE(AddQueue("qr_rx125", dead, "HALVORN RX-125"));
    ASSERT_TRUE(AddQueue("qr_odd", dead, "Someone Else 9000"));
    ASSERT_TRUE(AddQueue("qr_lpt", "parallel:/dev/lp0", "HALVORN RX-130"));
    ASSERT_TRUE(AddClass("qr_two", {"qr_rx110", "qr_lpt"}));
    ASSERT_EQ(RunCommand("lpadmin -p qr_rx110 -L 'Room 3F' -D \"$(printf 'one\\r\\ntwo\\nthree')\" "
                         ">/dev/null 2>&1"),
              0);
  }
  void SetUp() override {
    app_ = std::make_unique<TQUILLONApp>(MakeTestDir("ini") + "/QUILLON.INI");
  }
  std::unique_ptr<TQUILLONApp> app_;
};

TEST_F(PrinterRecord, SpoolerQueueFillsEveryFieldAndResolvesTheModel) {
  TPrinterEntry e{};
  SetField(e.Version, "old");
  ASSERT_EQ(app_->GetPrinterRecord("qr_rx110", e), 1);
  EXPECT_EQ(F(e.Name), "qr_rx110");
  EXPECT_EQ(F(e.Driver), "HALVORN RX-110");
  EXPECT_EQ(F(e.Port).rfind("socket://127.0.0.1:", 0), 0u) << e.Port;
  EXPECT_EQ(F(e.Location), "Room 3F");
  // A CR LF line break gives two "/", a single LF one.
  EXPECT_EQ(F(e.Comment), "one//two/three");
  EXPECT_EQ(F(e.CodeText), "1");
  EXPECT_EQ(e.Code, 1);
  EXPECT_EQ(e.Flag, 0);
  EXPECT_EQ(e.Known, 1);
  EXPECT_EQ(F(e.Version), "");
}

TEST_F(PrinterRecord, ClassKeepsBothPortsAndLongTextsAreCutOnACharacter) {
  TPrinterEntry e{};
  ASSERT_EQ(app_->GetPrinterRecord("qr_two", e), 1);
  const std::string port = F(e.Port);
  EXPECT_NE(port.find(','), std::string::npos) << port;
  EXPECT_NE(port.find("parallel:/dev/lp0"), std::string::npos) << port;

  // 130 two-byte characters: 260 bytes, one more than a field holds.
  std::string longText;
  for (int i = 0; i < 130; ++i) longText += "\xc3\xa9";
  ASSERT_EQ(RunCommand("lpadmin -p qr_odd -L '" + longText + "' >/dev/null 2>&1"), 0);
  ASSERT_EQ(app_->GetPrinterRecord("qr_odd", e), 1);
  EXPECT_EQ(F(e.Location), longText.substr(0, 258));
  EXPECT_EQ(F(e.Driver), "Someone Else 9000");
  EXPECT_EQ(e.Known, 0);
  EXPECT_EQ(e.Code, 0);
  EXPECT_EQ(F(e.CodeText), "");
}

TEST_F(PrinterRecord, UnknownQueueKeepsTheOldTextsAndAbsentNameChangesNothing) {
  TPrinterEntry e{};
  SetField(e.Name, "before");
  SetField(e.Driver, "RX-D20");
  SetField(e.Version, "v");
  EXPECT_EQ(app_->GetPrinterRecord("qr_nowhere", e), 1);
  EXPECT_EQ(F(e.Name), "before");
  EXPECT_EQ(F(e.Version), "v");
  EXPECT_EQ(e.Code, 7);  // the kept driver is resolved afresh
  EXPECT_EQ(e.Flag, 1);

  TPrinterEntry untouched{};
  SetField(untouched.Driver, "RX-110");
  EXPECT_EQ(app_->GetPrinterRecord(nullptr, untouched), 0);
  EXPECT_EQ(untouched.Known, 0);  // not even resolved
}

TEST_F(PrinterRecord, SelectPrinterAsksForTheModelOnlyWhenNoneIsKnown) {
  int asked = 0;
  std::string answer = "RX-D20";
  bool ok = true;
  app_->AskModel = [&](std::string& model) {
    ++asked;
    model = answer;
    return ok;
  };
  app_->SelectPrinter("qr_kv3");
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(app_->SelectedPrinter, "qr_kv3");
  EXPECT_EQ(app_->SelectedEntry.Code, 8);
  EXPECT_EQ(app_->SelectedEntry.Flag, 1);

  // A name the spooler does not know leaves the record as it was; with an
  // empty model the operator is asked.
  app_->SelectedEntry = TPrinterEntry{};
  app_->SelectPrinter("qr_unknown");
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(F(app_->SelectedEntry.Driver), "RX-D20");
  EXPECT_EQ(app_->SelectedEntry.Code, 7);
  EXPECT_EQ(app_->SelectedEntry.Known, 1);

  // Cancel leaves the model empty and unlisted.
  app_->SelectedEntry = TPrinterEntry{};
  ok = false;
  app_->SelectPrinter("qr_unknown");
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(F(app_->SelectedEntry.Driver), "");
  EXPECT_EQ(app_->SelectedEntry.Known, 0);

  // Without a question installed nothing is asked.
  app_->AskModel = nullptr;
  app_->SelectPrinter("qr_unknown");
  EXPECT_EQ(app_->SelectedEntry.Known, 0);
}

TEST_F(PrinterRecord, PredicatesFollowTheModelTable) {
  EXPECT_EQ(app_->GetModelName("qr_kv3"), "HALVORN CORVIA KV3");
  EXPECT_EQ(app_->GetModelName("qr_nowhere"), "");
  EXPECT_EQ(app_->ModelFlag("qr_kv3"), 1);
  EXPECT_EQ(app_->ModelFlag("qr_rx110"), 0);
  EXPECT_EQ(app_->ModelFlag("qr_nowhere"), 0);
  EXPECT_EQ(app_->IsKnownModel("qr_rx110"), 1);
  EXPECT_EQ(app_->IsKnownModel("qr_odd"), 0);
  // Known with the flag; known on a parallel port; known elsewhere without
  // the flag; unknown.
  EXPECT_EQ(app_->CanUpdateOverConnection("qr_kv3"), 1);
  EXPECT_EQ(app_->CanUpdateOverConnection("qr_lpt"), 1);
  EXPECT_EQ(app_->CanUpdateOverConnection("qr_rx110"), 0);
  EXPECT_EQ(app_->CanUpdateOverConnection("qr_odd"), 0);

  // The selected printer answers from its record, not from the spooler.
  app_->SelectedPrinter = "qr_rx110";
  SetField(app_->SelectedEntry.Driver, "KV2-A");
  EXPECT_EQ(app_->GetModelName("qr_rx110"), "KV2-A");
  EXPECT_EQ(app_->ModelFlag("qr_rx110"), 1);
  // Letter case counts here: another spelling asks the spooler.
  EXPECT_EQ(app_->GetModelName("QR_RX110"), "HALVORN RX-110");
}

TEST_F(PrinterRecord, PackageTargetsMatchByCodeOrByCodeText) {
  EXPECT_EQ(app_->IsPackageTarget("qr_rx125"), 0);  // no package
  app_->Package.reset(new TDownDocFile());
  EXPECT_EQ(app_->IsPackageTarget("qr_rx125"), 0);  // no targets
  app_->Package->PrinterList = {"RX-130", "RX-120"};
  // Different names of one model code.
  EXPECT_EQ(app_->IsPackageTarget("qr_rx125"), 1);
  EXPECT_EQ(app_->IsPackageTarget("qr_rx110"), 0);
  // Two unlisted models share the empty code text.
  EXPECT_EQ(app_->IsPackageTarget("qr_odd"), 0);
  app_->Package->PrinterList = {"RX-130", "Nobody Knows Me"};
  EXPECT_EQ(app_->IsPackageTarget("qr_odd"), 1);
  EXPECT_EQ(app_->IsPackageTarget("qr_nowhere"), 1);
  EXPECT_EQ(app_->IsPackageTarget("qr_lpt"), 1);
}

const PrinterRow* RowOf(const std::vector<PrinterRow>& rows, const std::string& name) {
  for (const PrinterRow& r : rows)
    if (r.name == name) return &r;
  return nullptr;
}

TEST_F(PrinterRecord, OnePassRowsAgreeWithTheQuestionsAskedOneByOne) {
  app_->Package.reset(new TDownDocFile());
  app_->Package->PrinterList = {"RX-130", "RX-120"};
  // The selected printer answers with the model its selection settled on.
  app_->SelectedPrinter = "qr_odd";
  SetField(app_->SelectedEntry.Driver, "KV2-A");

  const platform::SpoolerTraffic before = platform::SpoolerTrafficSoFar();
  std::vector<PrinterRow> rows;
  ASSERT_EQ(ReadPrinterRows(*app_, rows), 0);
  EXPECT_EQ(platform::SpoolerTrafficSoFar().requests - before.requests, 1);

  std::vector<std::string> names;
  ASSERT_EQ(EnumPrinterNames(names), 0);
  ASSERT_EQ(rows.size(), names.size());
  for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].name, names[i]);

  for (const char* name : {"qr_rx110", "qr_kv3", "qr_rx125", "qr_odd", "qr_lpt", "qr_two"}) {
    const PrinterRow* row = RowOf(rows, name);
    ASSERT_NE(row, nullptr) << name;
    TPrinterEntry e{};
    ASSERT_EQ(app_->GetPrinterRecord(name, e), 1);
    EXPECT_EQ(std::memcmp(&row->record, &e, sizeof e), 0) << name;
    EXPECT_EQ(row->updatable, app_->CanUpdateOverConnection(name) == 1) << name;
    EXPECT_EQ(row->packageTarget, app_->IsPackageTarget(name) == 1) << name;
  }
  EXPECT_TRUE(RowOf(rows, "qr_lpt")->updatable);
  EXPECT_FALSE(RowOf(rows, "qr_rx110")->updatable);
  EXPECT_TRUE(RowOf(rows, "qr_rx125")->packageTarget);
  // The record shows the spooler's driver; the answers use the chosen model.
  EXPECT_EQ(F(RowOf(rows, "qr_odd")->record.Driver), "Someone Else 9000");
  EXPECT_TRUE(RowOf(rows, "qr_odd")->updatable);

  // Without a package nothing is a target.
  app_->Package.reset();
  ASSERT_EQ(ReadPrinterRows(*app_, rows), 0);
  EXPECT_FALSE(RowOf(rows, "qr_rx125")->packageTarget);
}

class FtpPrinterRecord : public PrinterRecord {
 protected:
  static void SetUpTestSuite() {}
  std::string Address() const { return "ftp://" + sim_.Address() + "/vesta0"; }
  PrinterSimulator sim_{{"--model-name", "RX-D20", "--version", "1.05"}};
};

TEST_F(FtpPrinterRecord, QueryFillsModelAndVersionAndCachesTheOutcome) {
  ASSERT_TRUE(sim_.Ready());
  TPrinterEntry e{};
  ASSERT_EQ(app_->GetPrinterRecord(Address().c_str(), e), 1);
  EXPECT_EQ(F(e.Name), "");  // the model known before the query
  EXPECT_EQ(F(e.Driver), "RX-D20");
  EXPECT_EQ(F(e.Version), "1.05");
  EXPECT_EQ(F(e.Port), Address());
  EXPECT_EQ(F(e.Location), "");
  EXPECT_EQ(F(e.Comment), "");
  EXPECT_EQ(e.Code, 7);
  EXPECT_EQ(e.Flag, 1);
  EXPECT_EQ(app_->FtpModel, "RX-D20");
  EXPECT_EQ(app_->FtpVersion, "1.05");
  EXPECT_EQ(sim_.ConsoleSessions(1).size(), 1u);

  // The selected address (letter case aside) takes the cached model
  // without asking the printer.
  app_->SelectedPrinter = "ftp://" + sim_.Address() + "/VESTA0";
  app_->SetFtpPrinterInfo("KV3", "9.9");
  TPrinterEntry s{};
  ASSERT_EQ(app_->GetPrinterRecord(Address().c_str(), s), 1);
  EXPECT_EQ(F(s.Name), "KV3");
  EXPECT_EQ(F(s.Driver), "KV3");
  EXPECT_EQ(F(s.Version), "9.9");
  EXPECT_EQ(s.Code, 8);
  EXPECT_EQ(sim_.ConsoleSessions().size(), 1u);
}

TEST_F(FtpPrinterRecord, FailedQueryIsRememberedAsUnknownModel) {
  ASSERT_TRUE(sim_.Ready());
  const std::string nobody = "ftp://" + sim_.OtherAddress() + "/vesta0";
  app_->SetFtpPrinterInfo("RX-110", "1");
  TPrinterEntry e{};
  ASSERT_EQ(app_->GetPrinterRecord(nobody.c_str(), e), 1);
  EXPECT_EQ(F(e.Driver), "???");
  EXPECT_EQ(F(e.Version), "");
  EXPECT_EQ(e.Known, 0);
  EXPECT_EQ(app_->FtpModel, "???");
  // Selected: "???" again, now without a query.
  app_->SelectPrinter(nobody);
  EXPECT_EQ(F(app_->SelectedEntry.Driver), "???");

  // The model question keeps the old model when the query fails, and
  // takes the new one when it succeeds.
  app_->SetFtpPrinterInfo("KV40", "2");
  EXPECT_EQ(app_->GetModelName("ftp://" + sim_.OtherAddress() + "/x"), "KV40");
  EXPECT_EQ(app_->GetModelName(Address()), "RX-D20");
  EXPECT_EQ(app_->FtpVersion, "1.05");
  EXPECT_EQ(app_->ModelFlag(Address()), 1);
  EXPECT_EQ(app_->CanUpdateOverConnection(Address()), 1);
}

}  // namespace
