#include <gtest/gtest.h>

#include <QStandardPaths>

#include "core/app/QuillonApp.h"
#include "platform/ProfileFile.h"
#include "tests/support/TestEnv.h"

using quillon_test::MakeTestDir;
using quillon_test::ReadFileBytes;
using quillon_test::WriteFileBytes;

namespace {

std::string SettingsWith(const std::string& text) {
  const std::string path = MakeTestDir("cfg") + "/QUILLON.INI";
  if (!text.empty()) WriteFileBytes(path, text);
  return path;
}

std::string PrintersPart(const std::string& file) {
  return file.substr(0, file.find("[QUILLON.INI]"));
}

}  // namespace

TEST(Settings, FirstRunWritesExactlyTheSettingsAndTheModelRows) {
  const std::string path = SettingsWith("");
  {
    TQUILLONApp app(path);
    EXPECT_EQ(app.WindowLeft, 80);
    EXPECT_EQ(app.WindowTop, 160);
    EXPECT_EQ(app.WindowWidth, 480);
    EXPECT_EQ(app.WindowHeight, 400);
    const int cols[8] = {200, 60, 50, 40, 120, 0, 0, 0};
    for (int n = 0; n < 8; ++n) EXPECT_EQ(app.GetColumnWidth(n), cols[n]) << n;
    EXPECT_EQ(app.ShowMessage, 1);
    EXPECT_EQ(app.EnableCommand, 1);
    EXPECT_EQ(app.AutoRun, 1);
    EXPECT_EQ(app.ViewLocal, 1);
    EXPECT_EQ(app.Models->Count(), 75u);
    EXPECT_EQ(app.GetPackage(), nullptr);
  }
  const std::string file = ReadFileBytes(path);
  const std::string tail = file.substr(file.find("[QUILLON.INI]"));
  EXPECT_EQ(tail,
            "[QUILLON.INI]\n"
            "WindowPos=80,160,480,400\n"
            "Column0=200\nColumn1=60\nColumn2=50\nColumn3=40\nColumn4=120\n"
            "OpenFolder=\n"
            "ViewLocal=1\n");
  const std::string printers = PrintersPart(file);
  EXPECT_EQ(printers.rfind("[Printers]\nHALVORN Printer Driver=0\nRX-110=1\n", 0), 0u);
  EXPECT_NE(printers.find("\nHALVORN CORVIA KV16=16,1\n"), std::string::npos);
  platform::ProfileFile ini(path);
  EXPECT_EQ(ini.ReadKeys("Printers").size(), 75u);
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Printers", "QUILLON.INI"}));
}

TEST(Settings, DefaultPathIsTheUsersConfigFolder) {
  EXPECT_EQ(TQUILLONApp::DefaultSettingsPath(),
            QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation).toStdString() +
                "/QUILLON.INI");
  EXPECT_NE(TQUILLONApp::DefaultSettingsPath().find("/quillon/QUILLON.INI"), std::string::npos);
}

TEST(Settings, WindowPosIsTokenized) {
  struct Case {
    const char* value;
    int l, t, w, h;
  } cases[] = {
      {"10,,20,30", 10, 20, 30, 0},
      {"?", 80, 160, 480, 400},
      {"", 0, 0, 0, 0},
      {",,,5", 5, 0, 0, 0},
      {"-5,-6,700,800", -5, -6, 700, 800},
      {"1,2,3,4,5", 1, 2, 3, 4},
      {"a,12x, 7,", 0, 12, 7, 0},
      {"\"3,4\"", 3, 4, 0, 0},
  };
  for (const Case& c : cases) {
    const std::string path = SettingsWith(std::string("[QUILLON.INI]\nWindowPos=") + c.value + "\n");
    TQUILLONApp app(path);
    EXPECT_EQ(app.WindowLeft, c.l) << c.value;
    EXPECT_EQ(app.WindowTop, c.t) << c.value;
    EXPECT_EQ(app.WindowWidth, c.w) << c.value;
    EXPECT_EQ(app.WindowHeight, c.h) << c.value;
  }
}

TEST(Settings, OverlongWindowPosIsBoundedNotOverrun) {
  // 300 bytes: the value is parsed from its first 255 bytes only.
  std::string value = "1,2,3,";
  value += std::string(294, ',');
  value += "9";
  const std::string path = SettingsWith("[QUILLON.INI]\nWindowPos=" + value + "\n");
  TQUILLONApp app(path);
  EXPECT_EQ(app.WindowLeft, 1);
  EXPECT_EQ(app.WindowTop, 2);
  EXPECT_EQ(app.WindowWidth, 3);
  EXPECT_EQ(app.WindowHeight, 0);
}

TEST(Settings, NonNumbersFallBackToDefaults) {
  const std::string path = SettingsWith(
      "[quillon.ini]\n"
      "showmessage=0\n"
      "EnableCommand=off\n"
      "Column0=wide\nColumn1=75\nColumn2=\nColumn5=9\nColumn7=0x10\n"
      "ViewLocal=2\n"
      "OpenFolder=\"/data/fw pkgs\"\n");
  TQUILLONApp app(path);
  EXPECT_EQ(app.ShowMessage, 0);
  EXPECT_EQ(app.EnableCommand, 1);
  EXPECT_EQ(app.GetColumnWidth(0), 200);
  EXPECT_EQ(app.GetColumnWidth(1), 75);
  EXPECT_EQ(app.GetColumnWidth(2), 50);
  EXPECT_EQ(app.GetColumnWidth(5), 9);
  EXPECT_EQ(app.GetColumnWidth(7), 16);
  EXPECT_EQ(app.ViewLocal, 1);
  EXPECT_EQ(app.OpenFolder, "/data/fw pkgs");
}

TEST(Settings, RoundTripKeepsHandKeysAndWritesOnlyItsOwn) {
  const std::string path = SettingsWith(
      "[QUILLON.INI]\nShowMessage=0\nEnableCommand=0\nColumn5=9\nViewLocal=0\n"
      "[Printers]\nRX-110=3\n");
  {
    TQUILLONApp app(path);
    EXPECT_EQ(app.ShowMessage, 0);
    EXPECT_EQ(app.EnableCommand, 0);
    EXPECT_EQ(app.ViewLocal, 0);
    app.ShowMessage = 1;     // never written back
    app.EnableCommand = 1;   // never written back
    app.ColumnWidth[5] = 77; // never written back
    app.SetColumnWidth(4, 33);
    app.WindowLeft = -20;
    app.OpenFolder = "/srv/ﾌｧｰﾑ";
  }
  platform::ProfileFile ini(path);
  EXPECT_EQ(ini.ReadString("QUILLON.INI", "ShowMessage", ""), "0");
  EXPECT_EQ(ini.ReadString("QUILLON.INI", "EnableCommand", ""), "0");
  EXPECT_EQ(ini.ReadString("QUILLON.INI", "Column5", ""), "9");
  EXPECT_FALSE(ini.HasKey("QUILLON.INI", "Column6"));
  EXPECT_EQ(ini.ReadString("QUILLON.INI", "Column4", ""), "33");
  EXPECT_EQ(ini.ReadString("QUILLON.INI", "WindowPos", ""), "-20,160,480,400");
  EXPECT_EQ(ini.ReadString("QUILLON.INI", "OpenFolder", ""), "/srv/ﾌｧｰﾑ");
  EXPECT_EQ(ini.ReadString("QUILLON.INI", "ViewLocal", ""), "0");
  EXPECT_EQ(ini.ReadString("Printers", "RX-110", ""), "3");
}

TEST(Settings, UnwritableFileIsIgnored) {
  // The settings path is a folder: nothing can be read or written, and
  // building and destroying the application object still works.
  const std::string dir = MakeTestDir("cfg");
  TQUILLONApp app(dir);
  EXPECT_EQ(app.WindowWidth, 480);
  EXPECT_EQ(app.Models->Count(), 75u);
}

TEST(Settings, InstanceIsTheLivingObject) {
  EXPECT_EQ(TQUILLONApp::Instance(), nullptr);
  {
    TQUILLONApp app(SettingsWith(""));
    EXPECT_EQ(TQUILLONApp::Instance(), &app);
  }
  EXPECT_EQ(TQUILLONApp::Instance(), nullptr);
}
