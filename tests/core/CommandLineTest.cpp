#include <gtest/gtest.h>

#include <cctype>

#include "core/app/QuillonApp.h"
#include "core/package/DownDocFile.h"
#include "platform/ProfileFile.h"
#include "tests/support/TestEnv.h"

using quillon_test::MakeTestDir;
using quillon_test::WriteFileBytes;

namespace {

std::unique_ptr<TQUILLONApp> AppWith(std::vector<std::string> args, std::string* settings = nullptr) {
  const std::string path = MakeTestDir("cl") + "/QUILLON.INI";
  if (settings) *settings = path;
  return std::make_unique<TQUILLONApp>(path, std::move(args));
}

}  // namespace

TEST(CommandLine, NoArgumentsChangeNothing) {
  auto app = AppWith({});
  EXPECT_EQ(app->ShowMessage, 1);
  EXPECT_EQ(app->EnableCommand, 1);
  EXPECT_EQ(app->AutoRun, 1);
  EXPECT_EQ(app->ViewLocal, 1);
  EXPECT_EQ(app->SelectedPrinter, "");
  EXPECT_EQ(app->GetPackage(), nullptr);
  EXPECT_STREQ(app->GetPackageFileName(), "");
}

TEST(CommandLine, NmAndNcMatchWholeArgumentsInAnyCase) {
  EXPECT_EQ(AppWith({"/nm"})->ShowMessage, 0);
  EXPECT_EQ(AppWith({"/Nm"})->ShowMessage, 0);
  EXPECT_EQ(AppWith({"/nC"})->EnableCommand, 0);
  auto app = AppWith({"/NMX", "/NCX", "x/NM"});
  EXPECT_EQ(app->ShowMessage, 1);
  EXPECT_EQ(app->EnableCommand, 1);
  EXPECT_EQ(app->AutoRun, 1);
}

TEST(CommandLine, ContainedKeysAndValueAfterLastEquals) {
  auto a = AppWith({"/PR=ftp://host/NOW"});
  EXPECT_EQ(a->SelectedPrinter, "ftp://host/NOW");
  EXPECT_EQ(a->AutoRun, 0);  // its upper-case form contains "/NO"

  EXPECT_EQ(AppWith({"/PR=a=b"})->SelectedPrinter, "b");
  EXPECT_EQ(AppWith({"/pr=Office_Laser"})->SelectedPrinter, "Office_Laser");
  EXPECT_EQ(AppWith({"/XPR=q"})->SelectedPrinter, "");  // no "/PR=" in "/XPR="
  EXPECT_EQ(AppWith({"/X/PR=q"})->SelectedPrinter, "q");

  auto h = AppWith({"/hn=192.168.0.5"});
  EXPECT_EQ(h->SelectedPrinter, "ftp://192.168.0.5/vesta0");
  EXPECT_EQ(h->ViewLocal, 0);

  auto e = AppWith({"/PR="});
  EXPECT_EQ(e->SelectedPrinter, "");

  auto m = AppWith({"/m=KV41"});
  EXPECT_EQ(m->FtpModel, "KV41");
  EXPECT_STREQ(m->SelectedEntry.Driver, "KV41");

  EXPECT_EQ(AppWith({"/no"})->AutoRun, 0);
  EXPECT_EQ(AppWith({"/NOTHING"})->AutoRun, 0);
  EXPECT_EQ(AppWith({"/N"})->AutoRun, 1);
}

TEST(CommandLine, PrinterIsParsedOnceIntoItsOneSpellingOrRefusedWithTheReason) {
  EXPECT_EQ(AppWith({"/PR=FTP://Host:21/vesta0/"})->SelectedPrinter, "ftp://host/vesta0");
  EXPECT_EQ(AppWith({"/PR=ftp://[0::1]"})->SelectedPrinter, "ftp://[::1]/vesta0");
  EXPECT_EQ(AppWith({"/HN=Printer-A:2121"})->SelectedPrinter, "ftp://printer-a:2121/vesta0");
  // A bare IPv6 host gets its brackets.
  EXPECT_EQ(AppWith({"/HN=::1"})->SelectedPrinter, "ftp://[::1]/vesta0");
  EXPECT_TRUE(AppWith({"/HN=::1"})->PrinterInputError.empty());

  // Nothing is preselected for an address that could name another host
  // or folder; the reason is kept for the caller.
  struct Bad {
    const char* arg;
    const char* why;
  };
  for (const Bad b : {Bad{"/PR=ftp://A/B/vesta0", "holds \"/\""}, Bad{"/PR=ftp://A/..", "\"..\""},
                      Bad{"/PR=ftp:///vesta0", "no host"}, Bad{"/PR=ftp://A:0/x", "port"},
                      Bad{"/HN=A/B", "holds \"/\""}, Bad{"/HN=A:99999", "port"},
                      Bad{"/pr=Office Laser", "blank"}}) {
    auto a = AppWith({b.arg});
    EXPECT_EQ(a->SelectedPrinter, "") << b.arg;
    EXPECT_NE(a->PrinterInputError.find(b.why), std::string::npos) << b.arg << ": " << a->PrinterInputError;
    // Named by its option, however it was spelt.
    std::string option = std::string(b.arg).substr(0, 4);
    for (char& c : option) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(a->PrinterInputError.rfind(option, 0), 0u) << a->PrinterInputError;
  }
  // A later good printer replaces a refused one.
  auto later = AppWith({"/PR=ftp://A/B/c", "/X/PR=q1"});
  EXPECT_EQ(later->SelectedPrinter, "q1");
  EXPECT_TRUE(later->PrinterInputError.empty());
}

TEST(CommandLine, OneArgumentMaySatisfySeveralTests) {
  // "/HN=" and "/PR=" in one argument: /PR= is applied after /HN=.
  auto a = AppWith({"/HN=/PR=x"});
  EXPECT_EQ(a->SelectedPrinter, "x");
  EXPECT_EQ(a->ViewLocal, 0);
  // "/M=" with "/NO" inside the value.
  auto b = AppWith({"/M=RX/NOTE"});
  EXPECT_EQ(b->FtpModel, "RX/NOTE");
  EXPECT_EQ(b->AutoRun, 0);
}

TEST(CommandLine, LaterArgumentsWin) {
  auto a = AppWith({"/PR=first", "/HN=10.0.0.1"});
  EXPECT_EQ(a->SelectedPrinter, "ftp://10.0.0.1/vesta0");
  auto b = AppWith({"/HN=10.0.0.1", "/PR=second"});
  EXPECT_EQ(b->SelectedPrinter, "second");
  EXPECT_EQ(b->ViewLocal, 0);  // /HN= hid the local list all the same
}

TEST(CommandLine, ModelTextIsBoundedAndNeverSplitsACharacter) {
  std::string model(258, 'A');
  model += "ﾌﾟ";  // 258 + 6 bytes; the cut falls inside "ﾌ"
  auto app = AppWith({"/M=" + model});
  EXPECT_EQ(app->FtpModel, model);
  EXPECT_EQ(std::string(app->SelectedEntry.Driver), std::string(258, 'A'));
}

TEST(CommandLine, OnlyTheFirstPathIsOpenedWhereverOptionsStand) {
  const std::string dir = MakeTestDir("pk");
  WriteFileBytes(dir + "/first.RXF", "not a header");
  WriteFileBytes(dir + "/second.RXF", "not a header");
  auto app = AppWith({"/NM", dir + "/first.RXF", "/PR=p", dir + "/second.RXF"});
  ASSERT_NE(app->GetPackage(), nullptr);
  EXPECT_EQ(std::string(app->GetPackageFileName()), dir + "/first.RXF");
  EXPECT_EQ(app->GetPackage()->FileName, dir + "/first.RXF");
  EXPECT_EQ(app->ShowMessage, 0);
  EXPECT_EQ(app->SelectedPrinter, "p");
}

TEST(CommandLine, PackageRowsAreMergedBeforeOptionsApply) {
  const std::string dir = MakeTestDir("pk");
  const std::string pkg = dir + "/NEW.RXF";
  WriteFileBytes(pkg, std::string("[RX_DownLoad]\r\nFileFormat=RXF\r\n[Printers]\r\n"
                                  "HALVORN NEW MODEL=21,1\r\nRX-110=9\r\n\x1A") +
                          std::string(64, '\x55'));
  std::string settings;
  auto app = AppWith({"/M=HALVORN NEW MODEL", pkg}, &settings);
  ASSERT_NE(app->GetPackage(), nullptr);
  ASSERT_EQ(app->GetPackage()->PrinterTable.size(), 2u);
  EXPECT_EQ(app->Models->Count(), 76u);
  const int i = app->Models->IndexOf("halvorn new model");
  ASSERT_GE(i, 0);
  EXPECT_EQ(app->Models->Item(i)->Code, 21);
  EXPECT_EQ(app->Models->Item(i)->Flag, 1);
  EXPECT_EQ(app->Models->Item(app->Models->IndexOf("RX-110"))->Code, 9);
  // The /M= text resolves against the table that already holds the row.
  TPrinterEntry entry = app->SelectedEntry;
  app->ResolveModel(entry);
  EXPECT_EQ(entry.Code, 21);
  EXPECT_EQ(entry.Known, 1);
  EXPECT_EQ(platform::ProfileFile(settings).ReadString("Printers", "HALVORN NEW MODEL", ""), "21,1");
}

TEST(CommandLine, AbsolutePathsAreToldFromOptionsByExistingFilesAndTheOptionKeys) {
  const std::string dir = MakeTestDir("pk");
  // A missing absolute path holding an option's key ("/NO") is that option.
  auto a = AppWith({dir + "/NOTES.RXF"});
  EXPECT_EQ(a->GetPackage(), nullptr);
  EXPECT_EQ(a->AutoRun, 0);
  // One that matches no option is the package, whose status says it is
  // missing; the options beside it still apply.
  auto m = AppWith({dir + "/missing.RXF", "/HN=127.0.0.9", "/NM", "/NO"});
  ASSERT_NE(m->GetPackage(), nullptr);
  EXPECT_NE(m->GetPackage()->Status, 0);
  EXPECT_STREQ(m->GetPackageFileName(), (dir + "/missing.RXF").c_str());
  EXPECT_EQ(m->AutoRun, 0);
  EXPECT_EQ(m->ShowMessage, 0);
  EXPECT_EQ(m->SelectedPrinter, "ftp://127.0.0.9/vesta0");
  // Unknown options are paths too: the first of them is the package.
  auto u = AppWith({"/NMX", "/NM"});
  ASSERT_NE(u->GetPackage(), nullptr);
  EXPECT_STREQ(u->GetPackageFileName(), "/NMX");
  EXPECT_EQ(u->ShowMessage, 0);
  // An existing one is the package, and its "/NO" is no option.
  WriteFileBytes(dir + "/NOTES.RXF", "x");
  auto b = AppWith({dir + "/NOTES.RXF"});
  ASSERT_NE(b->GetPackage(), nullptr);
  EXPECT_EQ(b->AutoRun, 1);
  // A folder is the package and cannot be read as one.
  auto c = AppWith({dir});
  ASSERT_NE(c->GetPackage(), nullptr);
  EXPECT_NE(c->GetPackage()->Status, 0);
  // Relative and empty arguments are paths as they are.
  auto d = AppWith({"", "rel.RXF"});
  ASSERT_NE(d->GetPackage(), nullptr);
  EXPECT_STREQ(d->GetPackageFileName(), "");
}
