// The network printer browse: the buffer rules of the export, the trace of
// selection changes and the dialog's choice, with an injected printer list.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <cstring>
#include <string>
#include <vector>

#include "netlib/browse/BrowseDialog.h"
#include "netlib/LastError.h"
#include "netlib/quillon.h"

using namespace quillon::net;

namespace {

const std::string kLong(40, 'p');

std::vector<BrowsePrinter> Printers() {
  return {{"kest-hall", "RX-140 / 2F", {}},
          {kLong, "", {}},
          {"東棟プリンタ", "", {}},
          {"discovered", "", [] { return std::string("discovered_tmp"); }}};
}

// Selects the row of that name and answers OK, without a modal loop.
BrowseRunner Choose(const std::string& name) {
  return [name](PrinterBrowseDialog& d) {
    const auto rows = d.list()->findItems(QString::fromStdString(name), Qt::MatchExactly, 0);
    if (rows.isEmpty()) return int(QDialog::Rejected);
    d.list()->setCurrentItem(rows.first());
    return int(QDialog::Accepted);
  };
}

class BrowseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetBrowseSource(Printers);
    SetBrowseTrace([this](const char* line) { trace += line; });
  }
  void TearDown() override {
    SetBrowseSource({});
    SetBrowseRunner({});
    SetBrowseTrace({});
  }
  std::string trace;
};

}  // namespace

TEST_F(BrowseTest, ChosenNameIsCopiedWhenItFitsWithItsNul) {
  SetBrowseRunner(Choose(kLong));
  char buffer[64];
  std::memset(buffer, 'x', sizeof(buffer));
  uint32_t length = 0;

  // Exactly the name and its NUL.
  EXPECT_NE(QUILLON_SelectPrinter(nullptr, buffer, 41, &length), 0);
  EXPECT_EQ(std::string(buffer), kLong);
  EXPECT_EQ(length, 40u);
  EXPECT_EQ(buffer[41], 'x');  // nothing written past the NUL

  // The default 260-byte buffer of the program, and no length wanted.
  char big[260] = {};
  EXPECT_NE(QUILLON_SelectPrinter(nullptr, big, sizeof(big), nullptr), 0);
  EXPECT_EQ(std::string(big), kLong);
}

TEST_F(BrowseTest, NameWithoutRoomForItsNulIsRefusedWith122) {
  SetBrowseRunner(Choose(kLong));
  char buffer[64];
  std::memset(buffer, 'x', sizeof(buffer));
  uint32_t length = 7;

  SetLastErrorCode(0);
  EXPECT_EQ(QUILLON_SelectPrinter(nullptr, buffer, 40, &length), 0);
  EXPECT_EQ(QUILLON_GetLastError(), 122u);
  EXPECT_EQ(length, 40u);
  EXPECT_EQ(buffer[0], 'x');  // buffer untouched

  length = 0;
  SetLastErrorCode(0);
  EXPECT_EQ(QUILLON_SelectPrinter(nullptr, buffer, 0, &length), 0);
  EXPECT_EQ(QUILLON_GetLastError(), 122u);
  EXPECT_EQ(length, 40u);

  // A null buffer asks only for the length.
  length = 0;
  SetLastErrorCode(0);
  EXPECT_EQ(QUILLON_SelectPrinter(nullptr, nullptr, 260, &length), 0);
  EXPECT_EQ(QUILLON_GetLastError(), 122u);
  EXPECT_EQ(length, 40u);
}

TEST_F(BrowseTest, MultiByteNamesCountBytes) {
  SetBrowseRunner(Choose("東棟プリンタ"));
  const std::string name = "東棟プリンタ";
  char buffer[64] = {};
  uint32_t length = 0;
  EXPECT_EQ(QUILLON_SelectPrinter(nullptr, buffer, static_cast<uint32_t>(name.size()), &length), 0);
  EXPECT_EQ(length, name.size());
  EXPECT_EQ(buffer[0], 0);  // never a cut character
  EXPECT_NE(QUILLON_SelectPrinter(nullptr, buffer, sizeof(buffer), &length), 0);
  EXPECT_EQ(std::string(buffer), name);
}

TEST_F(BrowseTest, CancelOrNoChoiceLeavesBufferAndLengthAlone) {
  char buffer[16] = "before";
  uint32_t length = 99;
  SetLastErrorCode(5);

  // Headless and no test driving it: the dialog answers Cancel at once.
  EXPECT_EQ(QUILLON_SelectPrinter(nullptr, buffer, sizeof(buffer), &length), 0);
  // Accepted without a selected row: nothing chosen.
  SetBrowseRunner([](PrinterBrowseDialog&) { return int(QDialog::Accepted); });
  EXPECT_EQ(QUILLON_SelectPrinter(nullptr, buffer, sizeof(buffer), &length), 0);
  SetBrowseRunner([](PrinterBrowseDialog&) { return int(QDialog::Rejected); });
  EXPECT_EQ(QUILLON_SelectPrinter(nullptr, buffer, sizeof(buffer), &length), 0);

  EXPECT_STREQ(buffer, "before");
  EXPECT_EQ(length, 99u);
  EXPECT_EQ(QUILLON_GetLastError(), 5u);
}

TEST_F(BrowseTest, DiscoveredPrinterIsReturnedByTheNameOfItsQueue) {
  SetBrowseRunner(Choose("discovered"));
  char buffer[260] = {};
  uint32_t length = 0;
  EXPECT_NE(QUILLON_SelectPrinter(nullptr, buffer, sizeof(buffer), &length), 0);
  EXPECT_STREQ(buffer, "discovered_tmp");
  EXPECT_EQ(length, 14u);
}

TEST_F(BrowseTest, DialogTracesEverySelectionChangeAndOffersOnlyPrinters) {
  std::vector<std::string> rows;
  bool okBeforePick = true;
  QString title;
  SetBrowseRunner([&](PrinterBrowseDialog& d) {
    title = d.windowTitle();
    for (int i = 0; i < d.list()->topLevelItemCount(); ++i)
      rows.push_back(d.list()->topLevelItem(i)->text(0).toStdString());
    QPushButton* ok = d.findChild<QPushButton*>(QStringLiteral("btnOk"));
    okBeforePick = ok->isEnabled();
    // Driven through the real modal loop: two picks, then OK.
    QTimer::singleShot(0, &d, [&d, ok] {
      d.list()->setCurrentItem(d.list()->topLevelItem(0));
      d.list()->setCurrentItem(d.list()->topLevelItem(2));
      ok->click();
    });
    return d.exec();
  });
  char buffer[260] = {};
  uint32_t length = 0;
  ASSERT_NE(QUILLON_SelectPrinter(nullptr, buffer, sizeof(buffer), &length), 0);
  EXPECT_STREQ(buffer, "東棟プリンタ");
  EXPECT_EQ(title, QStringLiteral("プリンタの選択"));
  EXPECT_FALSE(okBeforePick);
  EXPECT_EQ(rows.size(), 4u);
  EXPECT_EQ(trace, "BFFM_SELCHANGED\nBFFM_SELCHANGED\n");
}

TEST_F(BrowseTest, EmptyListSaysWhyAndOffersNothingToChoose) {
  SetBrowseSource([] { return std::vector<BrowsePrinter>{}; });
  int rows = -1;
  QString text;
  bool selectable = true, spanned = false, okEnabled = true, fits = false;
  int chosen = 0;
  SetBrowseRunner([&](PrinterBrowseDialog& d) {
    QTreeWidget* list = d.list();
    rows = list->topLevelItemCount();
    if (rows != 1) return int(QDialog::Rejected);
    QTreeWidgetItem* row = list->topLevelItem(0);
    text = row->text(0);
    selectable = row->flags().testFlag(Qt::ItemIsSelectable);
    spanned = row->isFirstColumnSpanned();
    // The row is tall enough for its text wrapped at the row's width, so
    // nothing of it is cut off.
    d.show();
    QApplication::processEvents();
    const QRect shown = list->visualItemRect(row);
    const QRect needed = list->fontMetrics().boundingRect(
        QRect(0, 0, shown.width() - 8, 10000), Qt::TextWordWrap, row->text(0));
    fits = shown.height() >= needed.height() && needed.height() > list->fontMetrics().height();
    // Even made current, the explanation is no printer.
    list->setCurrentItem(row);
    chosen = d.ChosenIndex();
    okEnabled = d.findChild<QPushButton*>(QStringLiteral("btnOk"))->isEnabled();
    return int(QDialog::Accepted);
  });
  char buffer[64] = "before";
  uint32_t length = 99;
  EXPECT_EQ(QUILLON_SelectPrinter(nullptr, buffer, sizeof(buffer), &length), 0);
  ASSERT_EQ(rows, 1);
  EXPECT_EQ(text, QStringLiteral("ﾈｯﾄﾜｰｸﾌﾟﾘﾝﾀが見つかりません。ﾌﾟﾘﾝﾀの電源とﾈｯﾄﾜｰｸ接続、"
                                 "CUPSのﾌﾟﾘﾝﾀ共有の設定を確認してください。"));
  EXPECT_FALSE(selectable);
  EXPECT_TRUE(spanned);
  EXPECT_TRUE(fits);
  EXPECT_EQ(chosen, -1);
  EXPECT_FALSE(okEnabled);
  EXPECT_STREQ(buffer, "before");
  EXPECT_EQ(length, 99u);
  EXPECT_TRUE(trace.empty()) << trace;  // nothing was picked
}
