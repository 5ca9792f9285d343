// The checks before a download, from a printer record alone: which rows
// apply to each kind of printer, in which order, and what they ask.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/app/Funcs.h"
#include "core/app/ModelTable.h"
#include "core/app/PrinterEntry.h"
#include "core/app/TextUtil.h"
#include "core/command/DownloadChecks.h"
#include "core/command/MessageBoxes.h"

using quillon::CheckInput;
using quillon::MakeModelEntry;
using quillon::QuestionKind;
using quillon::SetField;
using quillon::kEntryTextMax;

namespace {

class DownloadChecksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    models_.Add(MakeModelEntry("KV3", "8,1"));      // takes the download command
    models_.Add(MakeModelEntry("KV40", "9,1"));     // takes it, not a target
    models_.Add(MakeModelEntry("RX-120", "2"));     // download mode by hand
  }

  CheckInput Input(const std::string& driver, int ports = 0,
                   std::vector<std::string> targets = {"KV3", "RX-120"}) {
    CheckInput in;
    SetField(in.printer.Driver, driver, kEntryTextMax);
    ResolveModel(models_, in.printer);
    in.portFlags = ports;
    in.targets = std::move(targets);
    in.models = &models_;
    return in;
  }

  // The string numbers of the rows that apply (0: a row without a box).
  static std::vector<int> Asked(const CheckInput& in) {
    std::vector<int> ids;
    for (const quillon::DownloadCheck* row : quillon::ApplicableChecks(in)) ids.push_back(row->messageId);
    return ids;
  }

  TDLPrinterList models_;
};

TEST_F(DownloadChecksTest, WhichRowsApplyToEachKindOfPrinter) {
  // A target that takes the command, on a network port: the start alone.
  EXPECT_EQ(Asked(Input("KV3")), (std::vector<int>{4101}));
  EXPECT_TRUE(quillon::ApplicableRisks(Input("KV3")).empty());
  // Not a target of the package.
  EXPECT_EQ(Asked(Input("KV40")), (std::vector<int>{4103, 4101}));
  // A package that names no model is a target of none.
  EXPECT_EQ(Asked(Input("KV3", 0, {})), (std::vector<int>{4103, 4101}));
  // Several ports.
  EXPECT_EQ(Asked(Input("KV3", PORT_MULTIPLE | PORT_LOCAL)), (std::vector<int>{4104, 4101}));
  // No command flag on a parallel port: ECP, then download mode by hand,
  // and no start dialog (no command to send).
  EXPECT_EQ(Asked(Input("RX-120", PORT_LPT)), (std::vector<int>{4107, 4106}));
  // No command flag elsewhere: not updatable over this connection.
  EXPECT_EQ(Asked(Input("RX-120")), (std::vector<int>{4105}));
  // An unknown model: the inspected row first, then what it implies.
  EXPECT_EQ(Asked(Input("ACME 9")), (std::vector<int>{0, 4103, 4105}));
  EXPECT_EQ(Asked(Input("")), (std::vector<int>{0, 4103, 4105}));
  // The download command switched off: no start dialog.
  CheckInput off = Input("KV3");
  off.withCommand = false;
  EXPECT_TRUE(Asked(off).empty());
}

TEST_F(DownloadChecksTest, TheRisksAreTheRiskRowsInTheirOrder) {
  using K = QuestionKind;
  EXPECT_EQ(quillon::ApplicableRisks(Input("ACME 9", PORT_MULTIPLE | PORT_LPT)),
            (std::vector<K>{K::ModelUnknown, K::NotTarget, K::SeveralPorts, K::HandMode}));
  EXPECT_EQ(quillon::ApplicableRisks(Input("KV40", PORT_MULTIPLE)),
            (std::vector<K>{K::NotTarget, K::SeveralPorts}));
  EXPECT_EQ(quillon::ApplicableRisks(Input("RX-120")), (std::vector<K>{K::NotUpdatable}));
  // Every row at once, in the order the window asks them.
  EXPECT_EQ(Asked(Input("ACME 9", PORT_MULTIPLE | PORT_LPT)),
            (std::vector<int>{0, 4103, 4104, 4107, 4106}));
}

TEST_F(DownloadChecksTest, EachRowCarriesItsBoxAndTheClassOfItsQuestion) {
  const auto& rows = quillon::DownloadChecks();
  std::vector<int> ids;
  for (const auto& row : rows) ids.push_back(row.messageId);
  EXPECT_EQ(ids, (std::vector<int>{0, 4103, 4104, 4107, 4106, 4105, 4101}));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.messageId);
    // The classification of a box's answer is the row's.
    if (row.messageId != 0) {
      EXPECT_EQ(quillon::ClassifyQuestion(row.messageId),
                row.cls == quillon::CheckClass::Risk ? row.kind : QuestionKind::Routine);
    }
    EXPECT_EQ(row.cls == quillon::CheckClass::Routine, row.kind == QuestionKind::Routine);
  }
  // Warnings that ask to go on default to Cancel; the hand-mode notices
  // and the start dialog to OK.
  const auto* notTarget = quillon::CheckOfMessage(4103);
  ASSERT_NE(notTarget, nullptr);
  EXPECT_EQ(notTarget->style, 0x4121);
  EXPECT_EQ(notTarget->helpContext, 1011);
  EXPECT_TRUE(notTarget->continueQuestion);
  EXPECT_EQ(quillon::CheckOfMessage(4107)->style, 0x4041);
  EXPECT_EQ(quillon::CheckOfMessage(4106)->helpContext, 1015);
  EXPECT_TRUE(quillon::CheckOfMessage(4101)->startDialog);
  EXPECT_EQ(quillon::CheckOfMessage(4120), nullptr);
  EXPECT_EQ(quillon::CheckOfMessage(0), nullptr);
  EXPECT_EQ(quillon::ClassifyQuestion(4193), QuestionKind::Routine);
}

}  // namespace
