// The local view on the private print server: rows, columns, image keys
// and ghosting with and without a package, the selection across refreshes,
// the status line and the watch of the printer set.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QImageWriter>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>

#include <memory>
#include <string>
#include <vector>

#include "core/app/ModelTable.h"
#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"
#include "resources/StringTable.h"
#include "tests/support/TestEnv.h"
#include "tests/support/CupsTestSupport.h"
#include "tests/gui/UiTestSupport.h"
#include "tests/support/ScriptedBoxAnswerer.h"
#include "core/package/DownDocFile.h"
#include "gui/TfrmMain.h"
#include "platform/Spooler.h"

using namespace quillon;

namespace {

class PrinterListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(quillon_test::CupsdDir().empty()) << "needs the private cupsd";
    kv3_ = Queue(Net(), "HALVORN KV3");
    lpt_ = Queue("parallel:/dev/lp1", "HALVORN RX-140");
    net140_ = Queue(Net(), "HALVORN RX-140");
    unknown_ = Queue(Net(), "ACME Laser 9");
    ASSERT_EQ(quillon_test::RunCommand("lpadmin -p " + kv3_ +
                                       " -L '2F 東側' -D 'Floor printer' 2>/dev/null"),
              0);
    app_ = std::make_unique<TQUILLONApp>(ui_test::FreshSettings());
    form_ = std::make_unique<TfrmMain>();
  }

  void TearDown() override {
    form_.reset();
    for (const std::string& q : queues_) quillon_test::DeleteQueue(q);
  }

  std::string Net() { return quillon_test::SocketUri(quillon_test::UnusedPort()); }

  std::string Queue(const std::string& uri, const std::string& model) {
    const std::string name = ui_test::UniqueQueue("pl");
    EXPECT_TRUE(ui_test::AddModelQueue(name, uri, model));
    queues_.push_back(name);
    return name;
  }

  QTreeWidgetItem* Row(const std::string& name) {
    QTreeWidget* list = form_->lstvwPrinters;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      if (list->topLevelItem(i)->text(0).toStdString() == name) return list->topLevelItem(i);
    return nullptr;
  }

  bool Ghosted(const std::string& name) {
    return Row(name)->data(0, TfrmMain::kGhostedRole).toBool();
  }

  std::string Status() { return form_->StatusBar->currentMessage().toStdString(); }

  void Select(const std::string& name) {
    QTreeWidgetItem* row = Row(name);
    ASSERT_NE(row, nullptr);
    form_->lstvwPrinters->setCurrentItem(row);
  }

  std::unique_ptr<TQUILLONApp> app_;
  std::unique_ptr<TfrmMain> form_;
  std::vector<std::string> queues_;
  std::string kv3_, lpt_, net140_, unknown_;
};

TEST_F(PrinterListTest, RowsCarryTheColumnsImageKeysAndGhostingWithoutPackage) {
  form_->lstvwPrintersPaint();
  QTreeWidgetItem* kv3 = Row(kv3_);
  ASSERT_NE(kv3, nullptr);
  EXPECT_EQ(kv3->text(1), QStringLiteral("HALVORN KV3"));
  EXPECT_TRUE(kv3->text(2).startsWith(QStringLiteral("socket://127.0.0.1:")));
  EXPECT_EQ(kv3->text(3), QStringLiteral("2F 東側"));
  EXPECT_EQ(kv3->text(4), QStringLiteral("Floor printer"));
  EXPECT_EQ(kv3->data(0, TfrmMain::kImageKeyRole).toString(), QStringLiteral("8"));
  EXPECT_EQ(kv3->data(0, TfrmMain::kImageIndexRole).toInt(), 8);
  EXPECT_FALSE(kv3->icon(0).isNull());
  EXPECT_FALSE(Ghosted(kv3_));

  // The parallel-only model on a parallel port can be updated...
  EXPECT_EQ(Row(lpt_)->data(0, TfrmMain::kImageKeyRole).toString(), QStringLiteral("4"));
  EXPECT_FALSE(Ghosted(lpt_));
  // ...on a network port it cannot.
  EXPECT_TRUE(Ghosted(net140_));
  // An unknown model: no code, the generic image, ghosted.
  EXPECT_EQ(Row(unknown_)->text(1), QStringLiteral("ACME Laser 9"));
  EXPECT_EQ(Row(unknown_)->data(0, TfrmMain::kImageKeyRole).toString(), QString());
  EXPECT_EQ(Row(unknown_)->data(0, TfrmMain::kImageIndexRole).toInt(), 0);
  EXPECT_TRUE(Ghosted(unknown_));

  // Sorted by caption.
  QTreeWidget* list = form_->lstvwPrinters;
  for (int i = 1; i < list->topLevelItemCount(); ++i)
    EXPECT_LE(QString::localeAwareCompare(list->topLevelItem(i - 1)->text(0),
                                          list->topLevelItem(i)->text(0)),
              0);
}

TEST_F(PrinterListTest, WithAPackageEveryNonTargetIsGhosted) {
  app_->OpenPackage(ui_test::MakePackage("KV3.RXF", "HALVORN KV3"));
  form_->lstvwPrintersPaint();
  EXPECT_FALSE(Ghosted(kv3_));
  EXPECT_TRUE(Ghosted(lpt_));
  EXPECT_TRUE(Ghosted(net140_));
  EXPECT_TRUE(Ghosted(unknown_));

  // A package that names no models ghosts every printer.
  app_->OpenPackage(ui_test::MakePackage("NONE.RXF", ""));
  form_->lstvwPrintersPaint();
  EXPECT_TRUE(Ghosted(kv3_));
}

TEST_F(PrinterListTest, StatusLineTellsWhyAPrinterCannotBeUpdated) {
  form_->lstvwPrintersPaint();
  Select(kv3_);
  EXPECT_EQ(form_->pnlSelected->text().toStdString(), kv3_);
  EXPECT_EQ(app_->SelectedPrinter, kv3_);
  EXPECT_EQ(form_->pnlSelDrv->text(), QStringLiteral("HALVORN KV3"));
  EXPECT_EQ(form_->pnlSelPlace->text(), QStringLiteral("2F 東側"));
  EXPECT_EQ(Status(), "");
  Select(net140_);
  EXPECT_EQ(Status(), LoadStr(4179));
  Select(unknown_);
  EXPECT_EQ(Status(), LoadStr(4177));
  Select(lpt_);
  EXPECT_EQ(Status(), "");

  app_->OpenPackage(ui_test::MakePackage("KV3.RXF", "HALVORN KV3"));
  form_->UpdateStatusText();
  EXPECT_EQ(Status(), LoadStr(4178));
  Select(kv3_);
  EXPECT_EQ(Status(), "");
}

TEST_F(PrinterListTest, SelectionSurvivesARefreshAlsoWithADifferentLetterCase) {
  form_->pnlSelected->setText(QString::fromStdString(UpperAscii(kv3_)));
  form_->lstvwPrintersPaint();
  QTreeWidgetItem* row = Row(kv3_);
  ASSERT_NE(row, nullptr);
  EXPECT_TRUE(row->isSelected());
  EXPECT_EQ(form_->pnlSelected->text().toStdString(), kv3_);
  EXPECT_EQ(app_->SelectedPrinter, kv3_);
  EXPECT_EQ(form_->pnlSelDrv->text(), QStringLiteral("HALVORN KV3"));

  form_->OnUpdate();
  ASSERT_NE(Row(kv3_), nullptr);
  EXPECT_TRUE(Row(kv3_)->isSelected());
  EXPECT_EQ(form_->lstvwPrinters->selectedItems().size(), 1);

  // A name the spooler does not list selects nothing.
  form_->pnlSelected->setText(QStringLiteral("ftp://10.0.0.1/vesta0"));
  form_->lstvwPrintersPaint();
  EXPECT_TRUE(form_->lstvwPrinters->selectedItems().isEmpty());
  EXPECT_EQ(form_->pnlSelected->text(), QStringLiteral("ftp://10.0.0.1/vesta0"));
}

TEST_F(PrinterListTest, ClearingTheListSelectionKeepsTheSelectedPrinter) {
  form_->lstvwPrintersPaint();
  Select(lpt_);
  form_->lstvwPrinters->clearSelection();
  EXPECT_EQ(form_->pnlSelected->text().toStdString(), lpt_);
  EXPECT_EQ(app_->SelectedPrinter, lpt_);
}

TEST_F(PrinterListTest, RefreshKeepsTheListHiddenWhenItWasHidden) {
  form_->show();
  form_->SetLocalView(2);
  form_->lstvwPrintersPaint();
  EXPECT_FALSE(form_->lstvwPrinters->isVisible());
  EXPECT_NE(Row(kv3_), nullptr);
  form_->SetLocalView(1);
  form_->lstvwPrintersPaint();
  EXPECT_TRUE(form_->lstvwPrinters->isVisible());
}

TEST_F(PrinterListTest, WatchRefreshesOnlyWhenThePrinterSetChanges) {
  form_->lstvwPrintersPaint();
  EXPECT_FALSE(form_->CheckPrinterSet());
  const std::string added = Queue(Net(), "HALVORN KV40");
  EXPECT_TRUE(form_->CheckPrinterSet());
  ASSERT_NE(Row(added), nullptr);
  EXPECT_EQ(Row(added)->data(0, TfrmMain::kImageKeyRole).toString(), QStringLiteral("12"));
  EXPECT_FALSE(form_->CheckPrinterSet());
  quillon_test::DeleteQueue(added);
  EXPECT_TRUE(form_->CheckPrinterSet());
  EXPECT_EQ(Row(added), nullptr);
}

TEST_F(PrinterListTest, ShowingTheWindowFillsTheListAndSelectsTheCommandLinePrinter) {
  form_.reset();
  app_ = std::make_unique<TQUILLONApp>(ui_test::FreshSettings(), std::vector<std::string>{"/PR=" + kv3_});
  form_ = std::make_unique<TfrmMain>();
  form_->show();
  ASSERT_NE(Row(kv3_), nullptr);
  EXPECT_TRUE(Row(kv3_)->isSelected());
  EXPECT_EQ(form_->pnlSelDrv->text(), QStringLiteral("HALVORN KV3"));
  EXPECT_EQ(app_->SelectedEntry.Code, 8);
  EXPECT_TRUE(form_->PrinterWatch->isActive());
}

TEST_F(PrinterListTest, ARefreshAsksTheSpoolerOnceWhateverTheNumberOfRows) {
  form_->pnlSelected->clear();
  const auto requestsOfRefresh = [&] {
    const long long before = platform::SpoolerTrafficSoFar().requests;
    form_->lstvwPrintersPaint();
    return platform::SpoolerTrafficSoFar().requests - before;
  };
  EXPECT_EQ(requestsOfRefresh(), 1);
  Queue(Net(), "HALVORN KV40");
  Queue("parallel:/dev/lp2", "HALVORN RX-120");
  EXPECT_EQ(requestsOfRefresh(), 1);
  EXPECT_GE(form_->lstvwPrinters->topLevelItemCount(), 6);
}

TEST_F(PrinterListTest, PackageIconModelsShowTheirIconWhileTheTableKeepsItsCodes) {
  const QString folder = QString::fromStdString(TDownDocFile::DefaultIconFolder());
  ASSERT_TRUE(QDir().mkpath(folder));
  QImage picture(32, 32, QImage::Format_ARGB32);
  picture.fill(Qt::red);
  ASSERT_TRUE(QImageWriter(folder + "/PKGLIST.ICO", "ico").write(picture));
  app_->Models->Add(MakeModelEntry("Package Model 7", "PKGLIST.ICO,1"));
  const std::string queue = Queue(Net(), "Package Model 7");
  form_->LoadPrinterIcons();

  form_->lstvwPrintersPaint();
  QTreeWidgetItem* row = Row(queue);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->data(0, TfrmMain::kImageKeyRole).toString(), QStringLiteral("17"));
  EXPECT_EQ(row->data(0, TfrmMain::kImageIndexRole).toInt(), 17);
  EXPECT_FALSE(Ghosted(queue));  // known, with the command flag
  Select(queue);
  EXPECT_EQ(form_->imgSelIcon->pixmap().toImage().pixelColor(16, 16), QColor(Qt::red));
  // The code stays the table's, the same the command line sees.
  EXPECT_EQ(app_->SelectedEntry.Code, 0);
  EXPECT_EQ(std::string(app_->SelectedEntry.CodeText), "PKGLIST.ICO");
  const TModelEntry* entry =
      app_->Models->Item(static_cast<std::size_t>(app_->Models->IndexOf("Package Model 7")));
  EXPECT_EQ(entry->Code, 0);
}

}  // namespace
