// Pictures of the main window for a look at it, taken only when asked for:
//   xvfb-run -a env QT_QPA_PLATFORM=xcb QUILLON_SCREENSHOT_DIR=/tmp/shots
//     CUPS_SERVER=... test_ui --gtest_filter='Screenshots.*'
// (list view and details view, with a package and a few queues).
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/app/QuillonApp.h"
#include "tests/support/TestEnv.h"
#include "tests/support/CupsTestSupport.h"
#include "tests/gui/UiTestSupport.h"
#include "gui/JapaneseFonts.h"
#include "gui/TfrmMain.h"

namespace {

TEST(Screenshots, MainWindowInListAndDetailsView) {
  const char* dir = std::getenv("QUILLON_SCREENSHOT_DIR");
  if (!dir || !*dir) GTEST_SKIP() << "QUILLON_SCREENSHOT_DIR not set";
  quillon::InstallJapaneseFonts();
  std::vector<std::string> queues;
  auto add = [&](const std::string& name, const std::string& uri, const std::string& model) {
    if (ui_test::AddModelQueue(name, uri, model)) queues.push_back(name);
  };
  const std::string net = quillon_test::SocketUri(9100);
  add("Office_KV3", net, "HALVORN CORVIA KV3");
  add("Floor2_KV40", net, "HALVORN CORVIA KV40");
  add("Lab_RX140", "parallel:/dev/lp0", "HALVORN LUMATYPE RX-140");
  add("Reception_KV10", net, "HALVORN CORVIA KV10");
  add("ColorLaser_Other", net, "ACME ColorLaser 500");
  quillon_test::RunCommand("lpadmin -p Office_KV3 -L '3F 営業部' -D '共用プリンタ' 2>/dev/null");

  const std::string pkg = ui_test::MakePackage(
      "KV3_V210.RXF", "HALVORN CORVIA KV3,HALVORN CORVIA KV10", "DATA",
      {"DownLoadDesc=KV3/KV10 ﾌﾟﾘﾝﾀ制御ｿﾌﾄｳｪｱ", "DownLoadVersion=Ver.2.10"});
  TQUILLONApp app(ui_test::FreshSettings({"WindowPos=40,40,600,420"}),
                  {pkg, "/PR=Office_KV3"});
  TfrmMain form;
  form.show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
  QTest::qWait(300);
  const std::string out(dir);
  auto shoot = [&](const char* name) {
    QTest::qWait(200);
    const QPixmap shot = form.screen()->grabWindow(form.winId());
    EXPECT_TRUE(shot.save(QString::fromStdString(out + "/" + name), "PNG"));
  };
  shoot("main-list.png");
  form.SetLocalView(2);
  shoot("main-details.png");
  form.SetLocalView(1);
  form.PopupMenu1->popup(form.mapToGlobal(QPoint(200, 130)));
  QTest::qWait(200);
  const QPixmap full = form.screen()->grabWindow(0);
  EXPECT_TRUE(full.save(QString::fromStdString(out + "/main-popup.png"), "PNG"));
  form.PopupMenu1->hide();
  for (const std::string& q : queues) quillon_test::DeleteQueue(q);
}

}  // namespace
