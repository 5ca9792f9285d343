// The main window: layout rules, minimum size, what it keeps in the
// settings, menus and view marks, and its two message boxes.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeWidget>

#include "core/app/QuillonApp.h"
#include "tests/gui/UiTestSupport.h"
#include "gui/HelpViewer.h"
#include "gui/ProgramBoxes.h"
#include "tests/support/ScriptedBoxAnswerer.h"
#include "gui/TfrmMain.h"

using namespace quillon;

namespace {

// Delivers what a resize or a change left queued: geometry, layout
// requests and their follow-ups.
void Settle() {
  for (int i = 0; i < 5; ++i) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }
}

int RightEdge(const QWidget* w) { return w->x() + w->width(); }

TEST(MainWindow, ResizeLaysOutButtonsPanelsListAndStatusBar) {
  TQUILLONApp app(ui_test::FreshSettings());
  TfrmMain form;
  form.show();
  for (const QSize size : {QSize(700, 520), QSize(480, 360), QSize(1000, 420)}) {
    SCOPED_TRACE(size.width());
    form.resize(size);
    Settle();
    const int cw = form.Client->width();
    const int ch = form.Client->height();
    for (auto [panel, button] : {std::pair<QLabel*, QPushButton*>{form.pnlFileName, form.btnBrowse},
                                 {form.pnlFileState, form.btnExec},
                                 {form.pnlSelected, form.btnPrinters}}) {
      EXPECT_EQ(button->x(), RightEdge(panel) + 10) << button->objectName().toStdString();
      EXPECT_EQ(RightEdge(button), cw - 20) << button->objectName().toStdString();
    }
    // The printer's fields end with the file's field, each right of its caption.
    for (QLabel* p : {form.pnlSelDrv, form.pnlSelPort, form.pnlSelPlace, form.pnlSelComment,
                      form.pnlSelVer})
      EXPECT_EQ(RightEdge(p), RightEdge(form.pnlFileName));
    for (QLabel* l : {form.lblSelDrv, form.lblSelPort, form.lblSelPlace, form.lblSelComment,
                      form.lblSelVer})
      EXPECT_LT(RightEdge(l), form.pnlSelDrv->x()) << l->text().toStdString();
    EXPECT_LT(RightEdge(form.lblFileName), form.pnlFileName->x());
    EXPECT_EQ(form.lstvwPrinters->x(), 0);
    EXPECT_EQ(form.lstvwPrinters->y(), form.pnlSelected->y() + 50);
    EXPECT_EQ(form.lstvwPrinters->width(), cw);
    EXPECT_EQ(form.StatusBar->y(), form.lstvwPrinters->y() + form.lstvwPrinters->height());
    EXPECT_EQ(form.StatusBar->y() + form.StatusBar->height(), ch);
    EXPECT_EQ(form.StatusBar->width(), cw);
    // The hidden edit keeps its designed size.
    EXPECT_EQ(form.edtFileName->width(), 217);
  }
  // Laid out also while the list is hidden.
  form.SetLocalView(2);
  form.resize(640, 480);
  Settle();
  EXPECT_EQ(form.lstvwPrinters->width(), form.Client->width());
  EXPECT_EQ(RightEdge(form.btnExec), form.Client->width() - 20);
}

TEST(MainWindow, CannotBecomeSmallerThanItsMinimum) {
  TQUILLONApp app(ui_test::FreshSettings({"WindowPos=10,10,200,100"}));
  TfrmMain form;
  EXPECT_EQ(form.minimumSize(), QSize(480, 360));
  EXPECT_EQ(form.size(), QSize(480, 360));
  form.show();
  form.resize(300, 200);
  Settle();
  EXPECT_GE(form.width(), 480);
  EXPECT_GE(form.height(), 360);
}

TEST(MainWindow, RectangleColumnsAndViewGoBackToTheSettings) {
  const std::string ini = ui_test::FreshSettings(
      {"WindowPos=30,40,600,450", "Column0=150", "Column1=70", "Column2=90", "Column3=55",
       "Column4=33", "ViewLocal=0"});
  {
    TQUILLONApp app(ini);
    auto form = std::make_unique<TfrmMain>();
    EXPECT_EQ(form->pos(), QPoint(30, 40));
    EXPECT_EQ(form->size(), QSize(600, 450));
    const int widths[] = {150, 70, 90, 55, 33};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(form->lstvwPrinters->columnWidth(i), widths[i]) << i;
    EXPECT_TRUE(form->lstvwPrinters->isHidden());
    EXPECT_FALSE(form->PM_Local->isChecked());
    EXPECT_FALSE(form->MV_LOCAL->isChecked());

    form->show();
    form->move(50, 60);
    form->resize(640, 470);
    form->lstvwPrinters->setColumnWidth(0, 222);
    form->lstvwPrinters->setColumnWidth(4, 144);
    form->PM_LocalClick();
    Settle();
    form.reset();  // the window goes: its state back into the application object
    EXPECT_EQ(app.WindowWidth, 640);
    EXPECT_EQ(app.WindowHeight, 470);
    EXPECT_EQ(app.GetColumnWidth(0), 222);
    EXPECT_EQ(app.GetColumnWidth(1), 70);
    EXPECT_EQ(app.GetColumnWidth(4), 144);
    EXPECT_EQ(app.ViewLocal, 1);
  }
  // Written by the application object, read back by the next run.
  TQUILLONApp again(ini);
  TfrmMain form;
  EXPECT_EQ(form.size(), QSize(640, 470));
  EXPECT_EQ(form.lstvwPrinters->columnWidth(0), 222);
  EXPECT_EQ(form.lstvwPrinters->columnWidth(4), 144);
  EXPECT_FALSE(form.lstvwPrinters->isHidden());
  EXPECT_TRUE(form.PM_Local->isChecked());
}

TEST(MainWindow, DefaultsWithoutSettingsFile) {
  TQUILLONApp app(ui_test::FreshSettings());
  TfrmMain form;
  EXPECT_EQ(form.pos(), QPoint(80, 160));
  EXPECT_EQ(form.size(), QSize(480, 400));
  const int widths[] = {200, 60, 50, 40, 120};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(form.lstvwPrinters->columnWidth(i), widths[i]) << i;
}

TEST(MainWindow, CaptionsHintsAndMenus) {
  TQUILLONApp app(ui_test::FreshSettings());
  TfrmMain form;
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("HALVORN ﾌﾟﾘﾝﾀ制御ｿﾌﾄｳｪｱ ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ"));
  EXPECT_EQ(form.lblFileName->text(), QStringLiteral("ﾌﾟﾘﾝﾀ制御ｿﾌﾄｳｪｱ"));
  EXPECT_EQ(form.lblSelected->text(), QStringLiteral("出力先"));
  EXPECT_EQ(form.btnBrowse->text(), QStringLiteral("参照(&B)"));
  EXPECT_EQ(form.btnExec->text(), QStringLiteral("実行(&E)"));
  EXPECT_EQ(form.btnPrinters->text(), QStringLiteral("▼"));
  EXPECT_EQ(form.SpeedButton1->toolTip(), QStringLiteral("ﾌｧｲﾙを開く"));
  EXPECT_EQ(form.SpeedButton2->toolTip(), QStringLiteral("ダウンロード実行"));
  EXPECT_EQ(form.spbtnUpdate->toolTip(), QStringLiteral("最新の情報に更新"));
  EXPECT_EQ(form.SpeedButton4->toolTip(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
  EXPECT_FALSE(form.edtFileName->isVisibleTo(&form));
  EXPECT_FALSE(form.edtFileName->isEnabled());
  EXPECT_TRUE(form.pnlFileState->text().isEmpty());
  EXPECT_FALSE(form.SpeedButton1->icon().isNull());

  const QStringList headers = {QStringLiteral("ﾌﾟﾘﾝﾀ"), QStringLiteral("種類"),
                               QStringLiteral("接続先"), QStringLiteral("場所"),
                               QStringLiteral("ｺﾒﾝﾄ")};
  ASSERT_EQ(form.lstvwPrinters->columnCount(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(form.lstvwPrinters->headerItem()->text(i), headers[i]);

  QStringList menus;
  for (QAction* a : form.menuBar()->actions()) menus << a->text();
  EXPECT_EQ(menus, (QStringList{QStringLiteral("ﾌｧｲﾙ(&F)"), QStringLiteral("表示(&V)"),
                                QStringLiteral("ﾊﾞｰｼﾞｮﾝｱｯﾌﾟについて(&A)")}));
  QStringList view;
  for (QAction* a : form.MENU_View->actions()) view << (a->isSeparator() ? "-" : a->text());
  EXPECT_EQ(view, (QStringList{QStringLiteral("ローカルプリンタ(&L)"), "-",
                               QStringLiteral("ネットワークプリンタ(&N)"), QStringLiteral("FTP(&F)"),
                               "-", QStringLiteral("最新の情報に更新(&U)")}));
  QStringList popup;
  for (QAction* a : form.PopupMenu1->actions()) popup << (a->isSeparator() ? "-" : a->text());
  EXPECT_EQ(popup, (QStringList{QStringLiteral("ローカルプリンタ(&L)"), "-",
                                QStringLiteral("ネットワークプリンタ(&N)"), QStringLiteral("FTP(&F)")}));
  EXPECT_TRUE(form.MV_LOCAL->isChecked());
  EXPECT_TRUE(form.PM_Local->isChecked());
  EXPECT_FALSE(form.MV_NET->isCheckable());
  EXPECT_FALSE(form.MV_FTP->isCheckable());
}

TEST(MainWindow, LocalViewTogglesListAndBothMarks) {
  TQUILLONApp app(ui_test::FreshSettings());
  TfrmMain form;
  form.show();
  EXPECT_TRUE(form.lstvwPrinters->isVisible());
  form.PM_LocalClick();
  EXPECT_FALSE(form.lstvwPrinters->isVisible());
  EXPECT_FALSE(form.PM_Local->isChecked());
  EXPECT_FALSE(form.MV_LOCAL->isChecked());
  // The details area shows while the list is hidden.
  EXPECT_TRUE(form.pnlSelDrv->isVisible());
  form.MV_LOCAL->trigger();
  EXPECT_TRUE(form.lstvwPrinters->isVisible());
  EXPECT_TRUE(form.PM_Local->isChecked());
  EXPECT_TRUE(form.MV_LOCAL->isChecked());
  form.SetLocalView(2);
  EXPECT_FALSE(form.lstvwPrinters->isVisible());
  form.SetLocalView(2);
  EXPECT_FALSE(form.lstvwPrinters->isVisible());
  form.SetLocalView(7);  // any other mode shows
  EXPECT_TRUE(form.lstvwPrinters->isVisible());
  form.SetLocalView(1);
  EXPECT_TRUE(form.MV_LOCAL->isChecked());
  // The list is the topmost control over the details area.
  EXPECT_GT(form.Client->children().indexOf(form.lstvwPrinters),
            form.Client->children().indexOf(form.pnlSelDrv));
}

TEST(MainWindow, MsgBoxIsSilencedByShowMessageMsgBoxAlwaysIsNot) {
  TQUILLONApp app(ui_test::FreshSettings({"ShowMessage=0"}));
  TfrmMain form;
  ScriptedBoxAnswerer script;
  ScopedBoxAnswerer scoped(&script);
  script.Push(IDCANCEL);
  script.Push(IDCANCEL);
  EXPECT_EQ(form.MsgBox("質問", 0x4121, 1011), IDOK);
  EXPECT_TRUE(script.Questions().empty());
  EXPECT_EQ(form.MsgBoxAlways("入力エラー", 0x40, 0), IDCANCEL);
  ASSERT_EQ(script.Questions().size(), 1u);
  EXPECT_EQ(script.Questions()[0].caption, "HALVORN ﾌﾟﾘﾝﾀ制御ｿﾌﾄｳｪｱ ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ");

  app.ShowMessage = 1;
  EXPECT_EQ(form.MsgBox("質問", 0x4121, 1011), IDCANCEL);
  ASSERT_EQ(script.Questions().size(), 2u);
  EXPECT_EQ(script.Questions()[1].style, 0x4121);
  EXPECT_EQ(script.Questions()[1].helpContext, 1011);
}

TEST(MainWindow, AutoRunWithoutPackageEndsWithAnInputErrorWhenNobodyCanTakeOver) {
  // With a display the window stays for the operator; here (no display)
  // nobody could, so the run ends and says what is missing.
  TQUILLONApp app(ui_test::FreshSettings(), {"/NO", "/PR=nowhere"});
  ASSERT_EQ(app.AutoRun, 0);
  TfrmMain form;
  bool closed = false;
  QObject::connect(&form, &TfrmMain::Closed, [&] { closed = true; });
  testing::internal::CaptureStderr();
  form.show();
  // The posted run has had its turn, and so has anything it posted (its
  // close): a marker posted now runs after it, and the marker's own after
  // those.
  bool turned = false;
  QMetaObject::invokeMethod(
      &form,
      [&] { QMetaObject::invokeMethod(&form, [&] { turned = true; }, Qt::QueuedConnection); },
      Qt::QueuedConnection);
  ASSERT_TRUE(QTest::qWaitFor([&] { return turned; }, 10000));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(closed);
  EXPECT_EQ(form.UnattendedExit(), 2);
  EXPECT_NE(err.find("no package given"), std::string::npos) << err;
  EXPECT_EQ(form.pnlSelected->text(), QStringLiteral("nowhere"));
}

TEST(MainWindow, VersionAndHelpCommandsOpenTheirHelpTopics) {
  TQUILLONApp app(ui_test::FreshSettings());
  TfrmMain form;
  form.SpeedButton4->click();
  EXPECT_TRUE(HelpViewer()->isVisible());
  EXPECT_EQ(HelpViewer()->CurrentContext(), 1001);
  // The version topic carries the program's version.
  EXPECT_TRUE(HelpViewer()->Browser->toPlainText().contains(QStringLiteral(QUILLON_VERSION)));
  form.MA_Help->trigger();
  EXPECT_EQ(HelpViewer()->CurrentContext(), 0);
  form.MA_Version->trigger();
  EXPECT_EQ(HelpViewer()->CurrentContext(), 1001);
  HelpViewer()->close();
}

}  // namespace
