// The main window's network and FTP views: the chosen printer becomes the
// selected one and the list steps aside; an FTP printer that does not
// answer is reported; a cancelled choice changes nothing.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <cstring>
#include <memory>
#include <string>

#include "core/app/QuillonApp.h"
#include "netlib/quillon.h"
#include "resources/StringTable.h"
#include "tests/support/PrinterSimulator.h"
#include "tests/support/CupsTestSupport.h"
#include "tests/gui/ModalDriver.h"
#include "tests/gui/UiTestSupport.h"
#include "gui/ProgramBoxes.h"
#include "tests/support/ScriptedBoxAnswerer.h"
#include "gui/FtpConnect.h"
#include "gui/TfrmMain.h"

using quillon::LoadStr;

using quillon_test::OnModal;
using quillon_test::PrinterSimulator;

namespace {

// The browse is a modal dialog that nobody can answer here; this binary
// carries its own stand-in of the export, which answers what a test armed
// and otherwise cancels, as the library does without a display.
std::string g_browseChoice;
int g_browseCalls = 0;

}  // namespace

extern "C" int QUILLON_SelectPrinter(void*, char* path, uint32_t size, uint32_t* length) {
  ++g_browseCalls;
  if (g_browseChoice.empty()) return 0;
  if (length) *length = static_cast<uint32_t>(g_browseChoice.size());
  if (!path || g_browseChoice.size() >= size) return 0;
  std::memcpy(path, g_browseChoice.c_str(), g_browseChoice.size() + 1);
  return 1;
}

namespace {

class NetworkViewsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_browseChoice.clear();
    g_browseCalls = 0;
    app_ = std::make_unique<TQUILLONApp>(ui_test::FreshSettings());
    queue_ = ui_test::UniqueQueue("nv");
    ASSERT_TRUE(ui_test::AddModelQueue(queue_, "file:///dev/null", "RX-140"));
    form_ = std::make_unique<TfrmMain>();
    form_->show();
    form_->SetLocalView(1);
    form_->lstvwPrintersPaint();
    const auto rows = form_->lstvwPrinters->findItems(QString::fromStdString(queue_),
                                                      Qt::MatchExactly, 0);
    ASSERT_EQ(rows.size(), 1);
    form_->lstvwPrinters->setCurrentItem(rows.first());
    ASSERT_EQ(form_->pnlSelected->text().toStdString(), queue_);
  }
  void TearDown() override {
    form_.reset();
    app_.reset();
    quillon_test::DeleteQueue(queue_);
  }

  // The list steps aside and keeps no selection.
  void ExpectListAside() {
    EXPECT_TRUE(form_->lstvwPrinters->isHidden());
    EXPECT_TRUE(form_->lstvwPrinters->selectedItems().isEmpty());
    EXPECT_FALSE(form_->PM_Local->isChecked());
    EXPECT_FALSE(form_->MV_LOCAL->isChecked());
    EXPECT_FALSE(form_->MV_NET->isChecked());
    EXPECT_FALSE(form_->MV_FTP->isChecked());
  }

  std::unique_ptr<TQUILLONApp> app_;
  std::unique_ptr<TfrmMain> form_;
  std::string queue_;
};

}  // namespace

TEST_F(NetworkViewsTest, BrowsedPrinterBecomesTheSelectedOne) {
  g_browseChoice = "kest-hall";
  form_->PM_NetworkClick();
  EXPECT_EQ(g_browseCalls, 1);
  EXPECT_EQ(app_->SelectedPrinter, "kest-hall");
  EXPECT_EQ(form_->pnlSelected->text(), QStringLiteral("kest-hall"));
  ExpectListAside();
}

TEST_F(NetworkViewsTest, CancelledBrowseChangesNothing) {
  form_->PM_NetworkClick();
  EXPECT_EQ(g_browseCalls, 1);
  EXPECT_EQ(app_->SelectedPrinter, queue_);
  EXPECT_EQ(form_->pnlSelected->text().toStdString(), queue_);
  EXPECT_FALSE(form_->lstvwPrinters->isHidden());
  EXPECT_EQ(form_->lstvwPrinters->selectedItems().size(), 1);
}

TEST_F(NetworkViewsTest, FtpPrinterIsNamedByAddressAndDirectory) {
  PrinterSimulator sim;
  ASSERT_TRUE(sim.Ready());
  auto wait = OnModal<TFtpConnect>([&sim](TFtpConnect* d) {
    d->editFtpAddr->setText(QString::fromStdString(sim.Address()));
    d->editFtpDir->setText(QStringLiteral("vesta0"));
    d->btnOk->click();
  }, 30000);
  form_->PM_FtpClick();
  ASSERT_TRUE(wait->ran);
  const std::string name = "ftp://" + sim.Address() + "/vesta0";
  EXPECT_EQ(app_->SelectedPrinter, name);
  EXPECT_EQ(form_->pnlSelected->text().toStdString(), name);
  // The model the dialog learnt is shown without asking the printer again.
  EXPECT_EQ(form_->pnlSelDrv->text(), QStringLiteral("RX-140"));
  EXPECT_EQ(form_->pnlSelVer->text(), QStringLiteral("2.10"));
  EXPECT_EQ(sim.ConsoleSessions(1).size(), 1u);
  ExpectListAside();
}

TEST_F(NetworkViewsTest, FtpPrinterThatDoesNotAnswerIsReportedAndNothingChanges) {
  PrinterSimulator sim;
  ASSERT_TRUE(sim.Ready());
  quillon::ScriptedBoxAnswerer script;
  quillon::ScopedBoxAnswerer scoped(&script);
  auto wait = OnModal<TFtpConnect>([&sim](TFtpConnect* d) {
    d->editFtpAddr->setText(QString::fromStdString(sim.OtherAddress()));
    d->btnOk->click();
  }, 30000);
  form_->PM_FtpClick();
  ASSERT_TRUE(wait->ran);
  ASSERT_EQ(script.Questions().size(), 1u);
  EXPECT_EQ(script.Questions()[0].text, LoadStr(4160));
  EXPECT_EQ(script.Questions()[0].style, 0x10);
  EXPECT_EQ(app_->SelectedPrinter, queue_);
  EXPECT_FALSE(form_->lstvwPrinters->isHidden());

  // Cancel: no box, no change.
  auto cancel = OnModal<TFtpConnect>([](TFtpConnect* d) { d->Button2->click(); });
  form_->PM_FtpClick();
  EXPECT_TRUE(cancel->ran);
  EXPECT_EQ(script.Questions().size(), 1u);
  EXPECT_EQ(form_->pnlSelected->text().toStdString(), queue_);
}
