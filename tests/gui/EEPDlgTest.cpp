// The initialisation items dialog: its boxes, results and kept state.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "gui/EEPDlg.h"
#include "tests/gui/ModalDriver.h"
#include "gui/ProgramBoxes.h"

using quillon_test::OnModal;

TEST(EEPDlg, CreatedWithOnlyPrinterMenuChecked) {
  TEEPDlg dlg;
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("初期化項目の選択"));
  EXPECT_EQ(dlg.size(), QSize(343, 193));
  EXPECT_EQ(dlg.CheckBox1->text(), QStringLiteral("プリンタメニュー設定"));
  EXPECT_EQ(dlg.CheckBox2->text(), QStringLiteral("ネットワーク設定"));
  EXPECT_EQ(dlg.CheckBox3->text(), QStringLiteral("権限設定"));
  EXPECT_EQ(dlg.CancelBtn->text(), QStringLiteral("キャンセル"));
  EXPECT_EQ(dlg.CheckedItems(), 1);
  EXPECT_TRUE(dlg.OKBtn->isDefault());
}

TEST(EEPDlg, ItemsAreTheSumOfTheCheckedBoxes) {
  TEEPDlg dlg;
  for (int items = 0; items <= 7; ++items) {
    dlg.CheckBox1->setChecked(items & 1);
    dlg.CheckBox2->setChecked(items & 2);
    dlg.CheckBox3->setChecked(items & 4);
    EXPECT_EQ(dlg.CheckedItems(), items);
  }
}

TEST(EEPDlg, OkCancelAndEscapeResultsAndBoxesKeptBetweenShowings) {
  TEEPDlg dlg;
  auto ok = OnModal<TEEPDlg>([](TEEPDlg* d) {
    QTest::mouseClick(d->CheckBox3, Qt::LeftButton, {}, QPoint(6, 8));  // ticks it
    d->OKBtn->click();
  });
  EXPECT_EQ(dlg.exec(), quillon::IDOK);
  EXPECT_TRUE(ok->ran);
  EXPECT_EQ(dlg.CheckedItems(), 5);

  auto cancel = OnModal<TEEPDlg>([](TEEPDlg* d) {
    EXPECT_EQ(d->CheckedItems(), 5);  // kept from the last showing
    d->CheckBox2->setChecked(true);
    d->CancelBtn->click();
  });
  EXPECT_EQ(dlg.exec(), quillon::IDCANCEL);
  EXPECT_TRUE(cancel->ran);

  auto escape = OnModal<TEEPDlg>([](TEEPDlg* d) { QTest::keyClick(d, Qt::Key_Escape); });
  EXPECT_EQ(dlg.exec(), quillon::IDCANCEL);
  EXPECT_TRUE(escape->ran);
  // Cancel does not undo what the boxes show.
  EXPECT_EQ(dlg.CheckedItems(), 7);
}
