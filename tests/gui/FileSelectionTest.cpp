// The package choice: the open dialog's filter and folder, cancelling, a
// package that fails to open, and the file state panel.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCompleter>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "core/app/QuillonApp.h"
#include "core/package/DownDocFile.h"
#include "resources/StringTable.h"
#include "tests/support/TestEnv.h"
#include "tests/gui/ModalDriver.h"
#include "tests/gui/UiTestSupport.h"
#include "gui/ProgramBoxes.h"
#include "tests/support/ScriptedBoxAnswerer.h"
#include "gui/TfrmMain.h"
#include "core/command/FileSelection.h"

using namespace quillon;

namespace {

TEST(FileSelectionPieces, FilterFromString500HasTheTwoChoices) {
  const QStringList filters = OpenDialogFilters(LoadStr(500));
  ASSERT_EQ(filters.size(), 2);
  // The caption's own list of patterns is not repeated.
  EXPECT_EQ(filters[0], QStringLiteral("ﾌﾟﾘﾝﾀ制御ｿﾌﾄｳｪｱ (*.RXF *.RX_ *.RXV)"));
  EXPECT_EQ(filters[1], QStringLiteral("全てのﾌｧｲﾙ (*.*)"));
  EXPECT_EQ(OpenDialogFilters("(x)|*.x")[0], QStringLiteral("(x) (*.x)"));  // nothing else to show
  EXPECT_TRUE(OpenDialogFilters("").isEmpty());
  EXPECT_EQ(OpenDialogFilters("A|*.a|B").size(), 1);  // a caption without patterns is dropped
}

TEST(FileSelectionPieces, FolderLosesItsSeparatorExceptTheRoot) {
  EXPECT_EQ(FolderOfFile("/home/op/fw/NEW.RXF"), "/home/op/fw");
  EXPECT_EQ(FolderOfFile("/NEW.RXF"), "/");
  EXPECT_EQ(FolderOfFile("NEW.RXF"), "");
  EXPECT_EQ(PackageStateText("", "1.0"), " 1.0");
  EXPECT_EQ(PackageStateText("説明", ""), "説明 ");
}

bool AnyListVisible(const QList<QCompleter*>& completers) {
  for (QCompleter* c : completers) {
    if (c->popup() && c->popup()->isVisible()) return true;
  }
  return false;
}

class FileOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app_ = std::make_unique<TQUILLONApp>(ui_test::FreshSettings());
    app_->OpenFolder = "/before";
    form_ = std::make_unique<TfrmMain>();
    form_->OpenDialog->setOption(QFileDialog::DontUseNativeDialog, true);
  }

  // Runs FileOpen with the dialog answered: a path chooses it, empty cancels.
  void Choose(const std::string& path) {
    auto wait = quillon_test::OnModal<QFileDialog>([path](QFileDialog* d) {
      if (path.empty()) {
        d->reject();
      } else {
        // Typed like an operator would (selectFile leaves a focused name
        // field alone); the dialog reads its folder in the background.
        if (auto* edit = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
          edit->setText(QString::fromStdString(path));
        EXPECT_TRUE(QTest::qWaitFor([d] { return !d->selectedFiles().isEmpty(); }, 3000));
        static_cast<QDialog*>(d)->done(QDialog::Accepted);
      }
    });
    form_->FileOpen();
    EXPECT_TRUE(wait->ran);
  }

  std::unique_ptr<TQUILLONApp> app_;
  std::unique_ptr<TfrmMain> form_;
  ScriptedBoxAnswerer script_;
  ScopedBoxAnswerer scoped_{&script_};
};

TEST_F(FileOpenTest, ChoosingAPackageShowsItAndKeepsItsFolder) {
  const std::string pkg = ui_test::MakePackage("GOOD.RXF", "HALVORN KV3", "D",
                                               {"DownLoadDesc=新しい版", "DownLoadVersion=3.1"});
  Choose(pkg);
  EXPECT_EQ(app_->OpenFolder, FolderOfFile(pkg));
  EXPECT_EQ(form_->edtFileName->text().toStdString(), pkg);
  EXPECT_EQ(form_->pnlFileName->text().toStdString(), pkg);
  EXPECT_EQ(form_->pnlFileState->text(), QStringLiteral("新しい版 3.1"));
  EXPECT_EQ(std::string(app_->GetPackageFileName()), pkg);
  EXPECT_TRUE(script_.Questions().empty());
}

TEST_F(FileOpenTest, CancelChangesNothing) {
  const std::string pkg = ui_test::MakePackage("KEEP.RXF", "HALVORN KV3");
  form_->LoadPackageFile(QString::fromStdString(pkg));
  Choose("");
  EXPECT_EQ(app_->OpenFolder, "/before");
  EXPECT_EQ(form_->pnlFileName->text().toStdString(), pkg);
  EXPECT_EQ(std::string(app_->GetPackageFileName()), pkg);
  // The dialog holds the remembered name again.
  EXPECT_EQ(form_->OpenDialog->selectedFiles().value(0).toStdString(), pkg);
}

TEST_F(FileOpenTest, FailedOpenKeepsThePreviousPackageButTakesTheFolder) {
  const std::string good = ui_test::MakePackage("GOOD.RXF", "HALVORN KV3", "D",
                                                {"DownLoadDesc=Good", "DownLoadVersion=1"});
  Choose(good);
  const std::string badDir = quillon_test::MakeTestDir("bad");
  const std::string bad = badDir + "/BAD.RXF";
  quillon_test::WriteFileBytes(bad, "[RX_DownLoad]\r\nFileFormat=RXF\r\n");  // no data mark
  script_.Clear();
  Choose(bad);
  ASSERT_EQ(script_.Questions().size(), 1u);
  EXPECT_EQ(script_.Questions()[0].text, LoadStr(4353));
  EXPECT_EQ(script_.Questions()[0].style, 0x10);  // the icon alone: OK, no Help button
  EXPECT_EQ(app_->OpenFolder, badDir);
  EXPECT_EQ(form_->edtFileName->text().toStdString(), good);
  EXPECT_EQ(form_->pnlFileState->text(), QStringLiteral("Good 1"));
  // The application object holds the package the window shows.
  ASSERT_NE(app_->GetPackage(), nullptr);
  EXPECT_EQ(app_->GetPackage()->FileName, good);
  EXPECT_EQ(app_->GetPackage()->Status, 0);
}

TEST_F(FileOpenTest, MissingFileGives4114WithItsHelpAndSilenceHidesIt) {
  form_->LoadPackageFile(QStringLiteral("/nonexistent/X.RXF"));
  ASSERT_EQ(script_.Questions().size(), 1u);
  EXPECT_EQ(script_.Questions()[0].text, LoadStr(4114));
  EXPECT_EQ(script_.Questions()[0].helpContext, 2002);
  EXPECT_TRUE(form_->pnlFileName->text().isEmpty());

  script_.Clear();
  app_->ShowMessage = 0;
  form_->LoadPackageFile(QStringLiteral("/nonexistent/X.RXF"));
  EXPECT_TRUE(script_.Questions().empty());
}

TEST_F(FileOpenTest, FileNotInFirmwareFormatIsKeptAfterANotice) {
  const std::string raw = quillon_test::MakeTestDir("raw") + "/RAW.BIN";
  quillon_test::WriteFileBytes(raw, "just data");
  form_->LoadPackageFile(QString::fromStdString(raw));
  ASSERT_EQ(script_.Questions().size(), 1u);
  EXPECT_EQ(script_.Questions()[0].text, LoadStr(4123));
  EXPECT_EQ(script_.Questions()[0].style, 0x40);
  EXPECT_EQ(script_.Questions()[0].helpContext, 9999);
  EXPECT_EQ(form_->edtFileName->text().toStdString(), raw);
  EXPECT_EQ(form_->pnlFileState->text(), QStringLiteral(" "));
}

TEST(FileSelectionStart, PackageFromTheCommandLineIsShownWithoutNotice) {
  const std::string raw = quillon_test::MakeTestDir("raw") + "/RAW.BIN";
  quillon_test::WriteFileBytes(raw, "just data");
  const std::string pkg = ui_test::MakePackage("CMD.RXF", "HALVORN KV3", "D",
                                               {"DownLoadDesc=起動時", "DownLoadVersion=9"});
  TQUILLONApp app(ui_test::FreshSettings(), {pkg});
  ScriptedBoxAnswerer script;
  ScopedBoxAnswerer scoped(&script);
  TfrmMain form;
  EXPECT_EQ(form.pnlFileName->text().toStdString(), pkg);
  form.show();  // FormShow shows the package's state
  EXPECT_EQ(form.pnlFileState->text(), QStringLiteral("起動時 9"));
  EXPECT_TRUE(script.Questions().empty());
}

}  // namespace

TEST_F(FileOpenTest, EnterLeavesNoCompletionListStanding) {
  const std::string pkg = ui_test::MakePackage("TYPED.RXF", "HALVORN KV3", "D",
                                               {"DownLoadDesc=Typed", "DownLoadVersion=1"});
  quillon_test::WriteFileBytes(FolderOfFile(pkg) + "/TYPED2.RXF", quillon_test::ReadFileBytes(pkg));
  app_->OpenFolder = FolderOfFile(pkg);
  QList<QCompleter*> completers;
  bool listShown = false;
  auto wait = quillon_test::OnModal<QFileDialog>([&](QFileDialog* d) {
    auto* edit = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    completers = d->findChildren<QCompleter*>();
    if (edit == nullptr || completers.isEmpty()) {
      d->reject();
      return;
    }
    // Typed like an operator: the list of matching names comes up once the
    // dialog has read the folder.
    QTest::keyClicks(edit, QStringLiteral("TYP"));
    listShown = QTest::qWaitFor([&] { return AnyListVisible(completers); }, 5000);
    if (!listShown) {
      // Some platforms open it only on the next key; ask it directly.
      if (QCompleter* c = edit->completer()) c->complete();
      listShown = AnyListVisible(completers);
    }
    edit->setText(QString::fromStdString(pkg));
    EXPECT_TRUE(QTest::qWaitFor([d] { return !d->selectedFiles().isEmpty(); }, 3000));
    if (!AnyListVisible(completers) && edit->completer()) edit->completer()->complete();
    // Enter on the name field ends the dialog while the list is up.
    QTest::keyClick(edit, Qt::Key_Return);
    if (d->isVisible()) static_cast<QDialog*>(d)->done(QDialog::Accepted);
  }, 30000);
  form_->FileOpen();
  ASSERT_TRUE(wait->ran);
  ASSERT_TRUE(listShown) << "the completion list never came up";
  QCoreApplication::processEvents();
  EXPECT_FALSE(AnyListVisible(completers));
  EXPECT_EQ(form_->edtFileName->text().toStdString(), pkg);
}
