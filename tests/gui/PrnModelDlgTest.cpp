// The model choice dialog: the list, OK only after a pick, nothing reset.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "gui/PrnModelDlg.h"
#include "tests/gui/ModalDriver.h"
#include "gui/ProgramBoxes.h"

using quillon_test::OnModal;

namespace {

std::vector<std::string> Names(int count) {
  std::vector<std::string> names;
  for (int i = 1; i <= count; ++i) names.push_back("KV" + std::to_string(i));
  return names;
}

}  // namespace

TEST(PrnModelDlg, ListsTheNamesUpToTheFirstEmptySlot) {
  TdlgPrnModel all(Names(19));
  EXPECT_EQ(all.cmbModel->count(), 19);
  EXPECT_EQ(all.cmbModel->itemText(0), QStringLiteral("KV1"));
  EXPECT_EQ(all.cmbModel->itemText(18), QStringLiteral("KV19"));
  EXPECT_EQ(all.cmbModel->currentIndex(), -1);
  EXPECT_FALSE(all.cmbModel->isEditable());

  std::vector<std::string> modelSlots = Names(3);
  modelSlots.push_back("");
  modelSlots.push_back("after the end");
  TdlgPrnModel cut(modelSlots);
  EXPECT_EQ(cut.cmbModel->count(), 3);
  EXPECT_EQ(cut.windowTitle(), QStringLiteral("プリンタ機種の決定"));
  EXPECT_EQ(cut.size(), QSize(336, 145));
  EXPECT_FALSE(cut.Image1->pixmap().isNull());
}

TEST(PrnModelDlg, OkOnlyAfterAPickAndEverythingKeptForTheNextShowing) {
  TdlgPrnModel dlg(Names(19));
  EXPECT_FALSE(dlg.btnOk->isEnabled());
  EXPECT_TRUE(dlg.SelectedModel.empty());

  // Enter before any pick does not close the dialog with OK.
  auto first = OnModal<TdlgPrnModel>([](TdlgPrnModel* d) {
    QTest::keyClick(d, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_TRUE(d->isVisible());
    EXPECT_FALSE(d->btnOk->isEnabled());
    d->cmbModel->setCurrentIndex(4);  // the operator picks KV5
    EXPECT_TRUE(d->btnOk->isEnabled());
    d->btnOk->click();
  });
  EXPECT_EQ(dlg.exec(), quillon::IDOK);
  EXPECT_TRUE(first->ran);
  EXPECT_EQ(dlg.SelectedModel, "KV5");

  // Second use: still selected and enabled, OK at once gives the same name.
  auto second = OnModal<TdlgPrnModel>([](TdlgPrnModel* d) {
    EXPECT_EQ(d->cmbModel->currentText(), QStringLiteral("KV5"));
    EXPECT_TRUE(d->btnOk->isEnabled());
    QTest::keyClick(d, Qt::Key_Return);
  });
  EXPECT_EQ(dlg.exec(), quillon::IDOK);
  EXPECT_TRUE(second->ran);
  EXPECT_EQ(dlg.SelectedModel, "KV5");

  // Cancel after a new pick leaves SelectedModel as it was.
  auto cancel = OnModal<TdlgPrnModel>([](TdlgPrnModel* d) {
    d->cmbModel->setCurrentIndex(0);
    QTest::keyClick(d, Qt::Key_Escape);
  });
  EXPECT_EQ(dlg.exec(), quillon::IDCANCEL);
  EXPECT_TRUE(cancel->ran);
  EXPECT_EQ(dlg.SelectedModel, "KV5");
  EXPECT_EQ(dlg.cmbModel->currentText(), QStringLiteral("KV1"));
}

TEST(PrnModelDlg, ProgramDialogOffersTheNineteenBuiltInNames) {
  TdlgPrnModel dlg;
  const std::vector<std::string> names = TdlgPrnModel::BuiltInModelNames();
  ASSERT_EQ(names.size(), 19u);
  ASSERT_EQ(dlg.cmbModel->count(), 19);
  for (int i = 0; i < 19; ++i)
    EXPECT_EQ(dlg.cmbModel->itemText(i).toStdString(), names[static_cast<size_t>(i)]);
  EXPECT_EQ(dlgPrnModel, &dlg);
}
