#include <gtest/gtest.h>

#include "core/app/AppTitles.h"
#include "core/app/QuillonApp.h"
#include "tests/support/TestEnv.h"
#include "gui/TfrmMain.h"

TEST(MainFrame, TitledAtTheStoredRectangleWhichGoesBackOnClose) {
  const std::string path = quillon_test::MakeTestDir("mf") + "/QUILLON.INI";
  quillon_test::WriteFileBytes(path, "[QUILLON.INI]\nWindowPos=30,40,640,500\n");
  TQUILLONApp app(path);
  {
    TfrmMain form;
    EXPECT_EQ(frmMain, &form);
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8("HALVORN ﾌﾟﾘﾝﾀ制御ｿﾌﾄｳｪｱ ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ"));
    EXPECT_EQ(form.minimumSize(), QSize(480, 360));
    EXPECT_EQ(form.size(), QSize(640, 500));
    EXPECT_EQ(form.pos(), QPoint(30, 40));
    form.show();
    form.resize(700, 520);
    form.close();
    EXPECT_EQ(app.WindowWidth, 700);
    EXPECT_EQ(app.WindowHeight, 520);
  }
  EXPECT_EQ(frmMain, nullptr);
}

TEST(MainFrame, TooSmallStoredSizeGivesTheMinimum) {
  const std::string path = quillon_test::MakeTestDir("mf") + "/QUILLON.INI";
  quillon_test::WriteFileBytes(path, "[QUILLON.INI]\nWindowPos=\n");
  TQUILLONApp app(path);
  TfrmMain form;
  EXPECT_EQ(form.size(), QSize(480, 360));
}
