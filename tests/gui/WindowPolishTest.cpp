// How the forms and boxes look: owner and placement, line breaking, width,
// buttons, icons, and the two languages.
#include <gtest/gtest.h>

#include <algorithm>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QImage>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "core/app/AppTitles.h"
#include "core/app/QuillonApp.h"
#include "gui/BoxStyle.h"
#include "gui/DlgMsgBox.h"
#include "gui/EEPDlg.h"
#include "gui/Entry.h"
#include "gui/FtpConnect.h"
#include "gui/JapaneseFonts.h"
#include "gui/MainGlyphs.h"
#include "gui/PrnModelDlg.h"
#include "gui/PrntView.h"
#include "gui/QtBoxAnswerer.h"
#include "gui/TfrmMain.h"
#include "resources/StringTable.h"
#include "resources/Translations.h"
#include "tests/gui/UiTestSupport.h"

using namespace quillon;

namespace {

const QString kClosing = QStringLiteral("。、」』）｡､｣ー");

// The texts of the message boxes, as the table holds them.
std::vector<QString> MessageTexts() {
  std::vector<QString> texts;
  for (int id = 4101; id <= 4357; ++id) {
    const QString t = LoadQStr(id);
    if (!t.isEmpty()) texts.push_back(t);
  }
  return texts;
}

class ProgramLanguage : public ::testing::Test {
 protected:
  void TearDown() override { InstallTranslations(*qApp, QLocale(QLocale::Japanese, QLocale::Japan)); }
};

}  // namespace

TEST(BoxLines, NoLineStartsWithAClosingMarkAndWordsStayWhole) {
  InstallJapaneseFonts();
  const QFontMetrics fm(FormFont(kFontPGothic, 12));
  for (int width : {120, 200, 300, 420}) {
    for (const QString& text : MessageTexts()) {
      const QString broken = BreakLines(text, fm, width);
      // Only line feeds were added; nothing was lost or moved.
      QString joined = broken;
      EXPECT_EQ(joined.remove(QLatin1Char('\n')).remove(QLatin1Char(' ')),
                QString(text).remove(QLatin1Char('\n')).remove(QLatin1Char(' ')));
      const QStringList lines = broken.split(QLatin1Char('\n'));
      for (const QString& line : lines) {
        if (line.isEmpty()) continue;
        EXPECT_FALSE(kClosing.contains(line.front())) << width << ": " << line.toStdString();
        EXPECT_LE(fm.horizontalAdvance(line), width + fm.maxWidth()) << line.toStdString();
      }
      // A word that fits on a line is never cut.
      if (width >= 200 && text.contains(QStringLiteral("ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ"))) {
        EXPECT_TRUE(broken.contains(QStringLiteral("ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ"))) << broken.toStdString();
      }
    }
  }
  // The lone "ん。" of a naive break stays with its word.
  const QString t = QStringLiteral("ﾌﾟﾘﾝﾀに接続できません。");
  const int w = fm.horizontalAdvance(QStringLiteral("ﾌﾟﾘﾝﾀに接続できませ"));
  const QString broken = BreakLines(t, fm, w);
  EXPECT_FALSE(broken.endsWith(QStringLiteral("\nん。")));
  EXPECT_FALSE(broken.contains(QStringLiteral("\n。")));
  // Latin words and numbers are whole too; line feeds of the text stay.
  EXPECT_EQ(BreakLines(QStringLiteral("RX-140 1.23\nabc"), fm, 2000), QStringLiteral("RX-140 1.23\nabc"));
  const QString latin = BreakLines(QStringLiteral("alpha beta gamma delta"), fm,
                                   std::max(fm.horizontalAdvance(QStringLiteral("alpha beta")),
                                            fm.horizontalAdvance(QStringLiteral("gamma delta"))));
  EXPECT_EQ(latin, QStringLiteral("alpha beta\ngamma delta"));
}

TEST(Boxes, AreAsWideAsTheirTitleAndShareOneButtonStyle) {
  BoxQuestion q;
  q.caption = kApplicationTitle;
  q.text = LoadStr(4128);  // a short text under a long title
  q.style = 0x21;          // question, OK and Cancel
  std::unique_ptr<QMessageBox> box = BuildMessageBox(q, nullptr);
  box->show();
  QApplication::processEvents();
  EXPECT_GE(box->width(), QFontMetrics(box->font()).horizontalAdvance(box->windowTitle()));
  ASSERT_GE(box->buttons().size(), 2);
  for (QAbstractButton* b : box->buttons()) {
    EXPECT_GE(b->width(), kBoxButtonWidth);
    EXPECT_EQ(b->height(), kBoxButtonHeight);
  }
  box->close();
  // The program's own box (the start confirmation) has the same buttons,
  // and a long caption widens it instead of being cut.
  TDlgMsgBox dlg;
  dlg.ShowDialog("x", "Initialise the printer's settings memory and more", 1, 32, 0);
  EXPECT_GE(dlg.CheckBox1->width(), dlg.CheckBox1->sizeHint().width());
  EXPECT_GE(dlg.width(), dlg.CheckBox1->geometry().right());
  for (QPushButton* b : {dlg.ButtonOk, dlg.ButtonCancel, dlg.ButtonHelp}) {
    EXPECT_EQ(b->size(), QSize(kBoxButtonWidth, kBoxButtonHeight));
  }
}

TEST(Forms, AreOwnedByTheMainFormAndOpenCentredOnIt) {
  TQUILLONApp app(ui_test::FreshSettings({"WindowPos=120,90,600,420"}), {});
  Forms forms;
  quillon::CreateForms(forms, app);
  QWidget* main = forms.frmMain.get();
  EXPECT_EQ(forms.frmPrntView->parentWidget(), main);
  EXPECT_EQ(forms.dlgMsgBox->parentWidget(), main);
  EXPECT_EQ(forms.ftpConnect->parentWidget(), main);
  EXPECT_EQ(forms.dlgPrnModel->parentWidget(), main);
  EXPECT_EQ(forms.eepDlg->parentWidget(), main);
  main->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(main));
  const QPoint centre = main->frameGeometry().center();
  for (QDialog* d : std::initializer_list<QDialog*>{forms.ftpConnect.get(), forms.dlgPrnModel.get(),
                                                    forms.eepDlg.get(), forms.dlgMsgBox.get()}) {
    d->show();
    QApplication::processEvents();
    const QPoint c = d->frameGeometry().center();
    EXPECT_LE((c - centre).manhattanLength(), 4) << d->objectName().toStdString();
    // Never off the left or top of the screen, whatever the owner's size.
    EXPECT_GE(d->frameGeometry().left(), 0);
    d->hide();
  }
}

TEST(PrinterIcons, ASelectedRowShowsItsPictureUntinted) {
  const QPixmap picture = GenericPrinterPixmap();
  const QIcon icon = UntintedIcon(picture);
  EXPECT_EQ(icon.pixmap(32, 32, QIcon::Selected).toImage().convertToFormat(QImage::Format_ARGB32),
            picture.toImage().convertToFormat(QImage::Format_ARGB32));
}

TEST_F(ProgramLanguage, EnglishOutsideJapaneseLocalesWithTheSameIds) {
  EXPECT_EQ(InstallTranslations(*qApp, QLocale(QLocale::English, QLocale::UnitedStates)), "en");
  EXPECT_EQ(LoadStr(4113), "The download has finished.");
  // Every message has its English text; the model rows stay data.
  for (int id = 500; id <= 4357; ++id) {
    const std::string en = LoadStr(id);
    if (en.empty()) continue;
    for (unsigned char c : en) ASSERT_TRUE(c < 0x80 || en.find("ﾌﾟﾛｸﾞﾗﾑﾍﾝｺｳ") != std::string::npos ||
                                           en.find("ｾｯﾃｲﾅｲﾖｳｲｼﾞｮｳ") != std::string::npos || en == "▼")
        << id << ": " << en;
  }
  EXPECT_EQ(LoadStr(40), "RX-140=4");
  {
    TQUILLONApp app(ui_test::FreshSettings(), {});
    TfrmMain form;
    EXPECT_EQ(form.windowTitle().toStdString(), "HALVORN Printer Control Software Upgrade");
    EXPECT_EQ(form.menuBar()->actions().first()->text(), QStringLiteral("&File"));
  }
  BoxQuestion q;
  q.caption = LoadStr(4119);
  q.text = LoadStr(4120);
  q.style = 0x10;
  EXPECT_TRUE(BuildMessageBox(q, nullptr)->text().startsWith(QStringLiteral("Check that")));

  // The German locale gets English too; Japanese gets the source texts and
  // Qt's own Japanese (the file dialog's labels).
  EXPECT_EQ(InstallTranslations(*qApp, QLocale(QLocale::German, QLocale::Germany)), "en");
  EXPECT_EQ(LoadStr(4356), "Select a printer.");
  EXPECT_EQ(InstallTranslations(*qApp, QLocale(QLocale::Japanese, QLocale::Japan)), "ja");
  EXPECT_EQ(LoadStr(4113), "ﾀﾞｳﾝﾛｰﾄﾞが終了しました。");
  EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("アドレス:"));
  TQUILLONApp app(ui_test::FreshSettings(), {});
  TfrmMain form;
  EXPECT_EQ(form.windowTitle().toStdString(), kApplicationTitle);
}
