// Pictures of every form and box for a look at them (and for the desktop
// metainfo), written into the build folder's screenshots/ or into
// $QUILLON_SCREENSHOT_DIR; on a display too:
//   xvfb-run -a env QT_QPA_PLATFORM=xcb QUILLON_SCREENSHOT_DIR=/tmp/shots
//     CUPS_SERVER=... test_gui --gtest_filter='Screenshots.*'
// Each box is also checked: as wide as its title, no line starting with a
// closing mark.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QDir>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMessageBox>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/app/QuillonApp.h"
#include "tests/support/TestEnv.h"
#include "tests/support/CupsTestSupport.h"
#include "tests/gui/UiTestSupport.h"
#include "gui/JapaneseFonts.h"
#include "gui/TfrmMain.h"
#include "gui/DlgMsgBox.h"
#include "gui/EEPDlg.h"
#include "gui/FtpConnect.h"
#include "gui/PrnModelDlg.h"
#include "gui/PrntView.h"
#include "gui/ProgramBoxes.h"
#include "gui/QtBoxAnswerer.h"
#include "resources/StringTable.h"
#include "resources/Translations.h"

using quillon::LoadStr;

namespace {

std::string ShotDir() {
  const char* dir = std::getenv("QUILLON_SCREENSHOT_DIR");
  const QString path = dir && *dir ? QString::fromLocal8Bit(dir)
                                   : QStringLiteral(QUILLON_BINARY_DIR "/screenshots");
  QDir().mkpath(path);
  return path.toStdString();
}

// Every caption of a shown form that its field cuts: a label, button, check
// box or group title narrower or lower than its text at the font in use.
// Returns one line per cut caption ("Locati" for "Location").
std::string ClippedCaptions(QWidget& form) {
  std::string out;
  const auto plain = [](QString text) { return text.remove(QLatin1Char('&')); };
  for (QWidget* w : form.findChildren<QWidget*>()) {
    if (!w->isVisibleTo(&form)) continue;
    const QFontMetrics fm(w->font());
    QString text;
    bool cut = false;
    QSize need;
    if (auto* label = qobject_cast<QLabel*>(w)) {
      text = label->text();
      if (text.isEmpty() || label->textFormat() == Qt::RichText) continue;
      const QRect room = label->contentsRect();
      if (label->wordWrap()) {
        cut = label->heightForWidth(label->width()) > label->height();
      } else {
        need = fm.size(Qt::TextShowMnemonic, text) + QSize(label->indent() > 0 ? label->indent() : 0, 0);
        cut = need.width() > room.width() || fm.ascent() + fm.descent() > room.height() + 1;
      }
      // A field drawn over the caption's text hides its end ("Locati").
      const QRect drawn(label->geometry().topLeft(), QSize(std::min(need.width(), label->width()), label->height()));
      const QObjectList& siblings = label->parentWidget()->children();
      for (qsizetype i = siblings.indexOf(label) + 1; i < siblings.size(); ++i) {
        auto* above = qobject_cast<QWidget*>(siblings[i]);
        // Wholly under another widget is hidden on purpose (the list over
        // the selected printer's fields); partly under is cut.
        if (above && above->isVisibleTo(&form) && above->geometry().intersects(drawn) &&
            !above->geometry().contains(label->geometry())) {
          cut = true;
          text += " (under " + above->objectName() + ")";
        }
      }
    } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
      text = box->title();
      cut = !text.isEmpty() && fm.horizontalAdvance(plain(text)) + 16 > box->width();
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      text = button->text();
      if (text.isEmpty()) continue;
      // A push button's text with its icon and a little room; a check box
      // or radio button with its indicator.
      need = QSize(qobject_cast<QPushButton*>(w)
                       ? fm.horizontalAdvance(plain(text)) + (button->icon().isNull() ? 0 : button->iconSize().width() + 4) + 8
                       : button->sizeHint().width(),
                   fm.ascent() + fm.descent());
      cut = need.width() > button->width() || need.height() > button->height() + 1;
    }
    if (cut)
      out += std::string("  ") + w->metaObject()->className() + " " + w->objectName().toStdString() +
             " \"" + text.toStdString() + "\" " + std::to_string(w->width()) + "x" +
             std::to_string(w->height()) + " needs " + std::to_string(need.width()) + "x" +
             std::to_string(need.height()) + "\n";
  }
  return out;
}

// Shown and laid out, then checked.
void ExpectCaptionsFit(QWidget& form, const std::string& what) {
  form.show();
  QApplication::processEvents();
  const std::string cut = ClippedCaptions(form);
  EXPECT_TRUE(cut.empty()) << what << ": captions cut by their fields:\n" << cut;
}

bool Save(QWidget& w, const std::string& name) {
  return w.grab().save(QString::fromStdString(ShotDir() + "/" + name), "PNG");
}

TEST(Screenshots, MainWindowInListAndDetailsView) {
  const std::string shotDir = ShotDir();
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
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return form.lstvwPrinters->topLevelItemCount() >= static_cast<int>(queues.size()); },
      10000));
  const std::string out(shotDir);
  auto shoot = [&](const char* name) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(Save(form, name));
  };
  shoot("main-list.png");
  form.SetLocalView(2);
  shoot("main-details.png");
  form.SetLocalView(1);
  form.PopupMenu1->popup(form.mapToGlobal(QPoint(200, 130)));
  EXPECT_TRUE(QTest::qWaitForWindowExposed(form.PopupMenu1));
  EXPECT_TRUE(form.PopupMenu1->grab().save(QString::fromStdString(out + "/main-popup.png"), "PNG"));
  form.PopupMenu1->hide();
  for (const std::string& q : queues) quillon_test::DeleteQueue(q);
}

// The other forms, in both languages.
TEST(Screenshots, EveryFormAndBox) {
  quillon::InstallJapaneseFonts();
  TQUILLONApp app(ui_test::FreshSettings(), {});
  for (const char* lang : {"ja", "en"}) {
    quillon::InstallTranslations(*qApp, QLocale(QString::fromLatin1(lang)));
    const std::string tag = std::string("-") + lang + ".png";
    TfrmMain main;
    ExpectCaptionsFit(main, "main window " + std::string(lang));
    EXPECT_TRUE(Save(main, "main" + tag));
    main.SetLocalView(2);  // the selected printer's fields, not the list
    ExpectCaptionsFit(main, "main window, details " + std::string(lang));
    EXPECT_TRUE(Save(main, "main-details" + tag));
    main.close();
    TDlgMsgBox start;
    // Set up as shown; with no display the box answers without a loop.
    start.ShowDialog(LoadStr(4101), LoadStr(4124), 1, 32, 1031);
    EXPECT_GE(start.width(), start.CheckBox1->geometry().right()) << lang;
    ExpectCaptionsFit(start, "start confirmation " + std::string(lang));
    EXPECT_TRUE(Save(start, "start-confirmation" + tag));
    start.close();
    TFtpConnect ftp;
    ExpectCaptionsFit(ftp, "FTP address " + std::string(lang));
    EXPECT_TRUE(Save(ftp, "ftp-address" + tag));
    ftp.close();
    TdlgPrnModel model(std::vector<std::string>{"RX-140", "HALVORN CORVIA KV3"});
    ExpectCaptionsFit(model, "model choice " + std::string(lang));
    EXPECT_TRUE(Save(model, "model-choice" + tag));
    model.close();
    TEEPDlg items;
    ExpectCaptionsFit(items, "initialisation items " + std::string(lang));
    EXPECT_TRUE(Save(items, "init-items" + tag));
    items.close();
    TfrmPrntView progress(nullptr, &app);
    progress.SetAction(4131);
    ExpectCaptionsFit(progress, "progress " + std::string(lang));
    EXPECT_TRUE(Save(progress, "progress" + tag));
    progress.close();

    // Every message as its box.
    const QString closing = QStringLiteral("。、」』）｡､｣");
    for (int id = 4101; id <= 4357; ++id) {
      if (LoadStr(id).empty() || id == 4124) continue;
      quillon::BoxQuestion q;
      q.caption = quillon::Boxes().Title();
      q.text = LoadStr(id);
      q.style = 0x21;
      std::unique_ptr<QMessageBox> box = quillon::BuildMessageBox(q, nullptr);
      box->show();
      QApplication::processEvents();
      EXPECT_GE(box->width(), QFontMetrics(box->font()).horizontalAdvance(box->windowTitle()))
          << id << " " << lang;
      EXPECT_EQ(ClippedCaptions(*box), "") << id << " " << lang;
      for (const QString& line : box->text().split(QLatin1Char('\n'))) {
        if (line.isEmpty()) continue;
        EXPECT_FALSE(closing.contains(line.front())) << id << ": " << line.toStdString();
      }
      EXPECT_TRUE(Save(*box, "box-" + std::to_string(id) + tag));
      box->close();
    }
  }
  quillon::InstallTranslations(*qApp, QLocale(QLocale::Japanese, QLocale::Japan));
}

}  // namespace
