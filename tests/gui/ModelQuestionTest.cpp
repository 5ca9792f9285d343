// Selecting a printer whose model is unknown asks with the model choice
// dialog once the window side has installed it.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"
#include "gui/ModelAsk.h"
#include "gui/PrnModelDlg.h"
#include "tests/support/DownloadSupport.h"

namespace {

// Answers the dialog once it is up: picks an entry and presses OK, or
// presses Cancel.
void AnswerWhenShown(TdlgPrnModel& dlg, int pick, bool ok) {
  auto* timer = new QTimer(&dlg);
  QObject::connect(timer, &QTimer::timeout, [&dlg, timer, pick, ok] {
    if (!dlg.isVisible()) return;
    timer->stop();
    timer->deleteLater();
    if (!ok) {
      dlg.btnCancel->click();
      return;
    }
    dlg.cmbModel->setCurrentIndex(pick);
    dlg.btnOk->click();
  });
  timer->start(10);
}

TEST(ModelQuestion, ChosenModelBecomesTheDriverAndCancelLeavesItEmpty) {
  auto app = quillon_test::MakeApp();
  TdlgPrnModel dlg(std::vector<std::string>{"RX-110", "KV2-A", "KV3"});
  quillon::InstallModelQuestion(*app, dlg);

  AnswerWhenShown(dlg, 1, true);
  app->SelectPrinter("qm_no_such_queue");
  EXPECT_EQ(std::string(app->SelectedEntry.Driver), "KV2-A");
  EXPECT_EQ(app->SelectedEntry.Code, 6);
  EXPECT_EQ(app->SelectedEntry.Flag, 1);

  app->SelectedEntry = TPrinterEntry{};
  AnswerWhenShown(dlg, 0, false);
  app->SelectPrinter("qm_no_such_queue");
  EXPECT_EQ(std::string(app->SelectedEntry.Driver), "");
  EXPECT_EQ(app->SelectedEntry.Known, 0);
}

}  // namespace
