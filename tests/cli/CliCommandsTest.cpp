// quillon-cli's package, printer and console commands as a child process.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <string>

#include "tests/cli/CliProcess.h"
#include "tests/support/TestEnv.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/PrinterSimulator.h"
#include "tests/support/CupsTestSupport.h"

using namespace quillon_test;
using namespace package_test;

namespace {

QJsonObject Object(const std::string& line) {
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
  EXPECT_TRUE(doc.isObject()) << line;
  return doc.object();
}

std::string Str(const QJsonObject& o, const char* key) {
  return o.value(QLatin1String(key)).toString().toStdString();
}

std::string Sha256(const std::string& bytes) {
  return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256)
      .toHex()
      .toStdString();
}

TEST(CliInfo, CabinetPackageShowsHeaderModelRowsAndTheDataDigest) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  const std::string dir = MakeTestDir("cab");
  const std::string fw1 = Pattern(70000, 51), fw2 = Pattern(30000, 52);
  Put(dir, "HEADER.RXF",
      Header({"FileFormat=RXF", "DownLoadDesc=Cabinet firmware", "DownLoadVersion=4.20",
              "EnableCommand=1", "Reboot=0", "DownLoadFile=FW1.BIN,FW2.BIN",
              "DownLoadPrinter=KV3,RX-D25", "DoneMessage=Done\\nthen restart"}) +
          "[Printers]\r\nHALVORN KV9=31,1\r\n");
  Put(dir, "FW1.BIN", fw1);
  Put(dir, "FW2.BIN", fw2);
  const std::string cab = Gcab(dir, "FW.RXV", {"HEADER.RXF", "FW1.BIN", "FW2.BIN"}, true);
  ASSERT_FALSE(cab.empty());

  const CliResult r = RunCli({"info", cab, "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 1u);
  const QJsonObject o = Object(lines[0]);
  EXPECT_EQ(Str(o, "form"), "cabinet");
  EXPECT_EQ(o.value("status").toInt(), 0);
  EXPECT_EQ(Str(o, "description"), "Cabinet firmware");
  EXPECT_EQ(Str(o, "version"), "4.20");
  EXPECT_EQ(o.value("enable_command").toInt(), 1);
  EXPECT_EQ(o.value("reboot").toInt(), 0);
  EXPECT_EQ(o.value("targets").toArray().size(), 2);
  EXPECT_EQ(o.value("targets").toArray().at(1).toString().toStdString(), "RX-D25");
  ASSERT_EQ(o.value("model_rows").toArray().size(), 1);
  EXPECT_EQ(o.value("model_rows").toArray().at(0).toObject().value("name").toString().toStdString(),
            "HALVORN KV9");
  EXPECT_EQ(Str(o, "done_message"), "Done\rthen restart");
  EXPECT_EQ(o.value("data_size").toInt(), 100000);
  EXPECT_EQ(Str(o, "sha256"), Sha256(fw1 + fw2));

  // The same in words; the model rows are shown, not merged into the settings.
  const CliResult text = RunCli({"info", cab});
  EXPECT_EQ(text.exitCode, 0);
  EXPECT_NE(text.out.find("Form:            cabinet"), std::string::npos);
  EXPECT_NE(text.out.find("Model row:       HALVORN KV9=31,1"), std::string::npos);
  EXPECT_NE(text.out.find(Sha256(fw1 + fw2)), std::string::npos);
}

TEST(CliInfo, CompressedAndBrokenPackages) {
  const std::string dir = MakeTestDir("lz");
  const std::string data = Pattern(40000, 53) + std::string(20000, 'Q');
  const std::string plain =
      Put(dir, "FW.RXF", Header({"FileFormat=RXF", "DownLoadPrinter=KV3"}) + '\x1A' + data);
  const std::string lz = Mscompress(plain, dir + "/FW.RX_");
  ASSERT_FALSE(lz.empty());
  CliResult r = RunCli({"info", lz, "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  QJsonObject o = Object(Lines(r.out).at(0));
  EXPECT_EQ(Str(o, "form"), "compressed");
  EXPECT_EQ(Str(o, "sha256"), Sha256(data));

  // No data mark: the package cannot be used.
  const std::string bad = Put(dir, "BAD.RXF", Header({"FileFormat=RXF"}) + "no mark");
  r = RunCli({"info", bad, "--json"});
  EXPECT_EQ(r.exitCode, 4);
  o = Object(Lines(r.out).at(0));
  EXPECT_EQ(o.value("status").toInt(), 19);
  EXPECT_EQ(Str(o, "message"), "ﾌｧｲﾙが開けないか、形式が正しくありません。");
  // A missing file is an input error, as for download.
  EXPECT_EQ(RunCli({"info", dir + "/none.RXF"}).exitCode, 2);
}

TEST(CliPrinters, QueuesWithTheirModelAndWhetherTheyCanBeUpdated) {
  ASSERT_FALSE(CupsdDir().empty());
  ASSERT_TRUE(AddQueue("qcp_kv3", SocketUri(UnusedPort()), "HALVORN CORVIA KV3"));
  ASSERT_TRUE(AddQueue("qcp_other", SocketUri(UnusedPort()), "Some Other Printer"));
  const CliResult r = RunCli({"printers", "--json"});
  DeleteQueue("qcp_kv3");
  DeleteQueue("qcp_other");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  bool sawKv3 = false, sawOther = false;
  for (const std::string& line : Lines(r.out)) {
    const QJsonObject o = Object(line);
    if (Str(o, "printer") == "qcp_kv3") {
      sawKv3 = true;
      EXPECT_EQ(Str(o, "driver"), "HALVORN CORVIA KV3");
      EXPECT_EQ(o.value("code").toInt(), 8);
      EXPECT_EQ(o.value("command_flag").toInt(), 1);
      EXPECT_TRUE(o.value("known").toBool());
      EXPECT_TRUE(o.value("updatable").toBool());
    }
    if (Str(o, "printer") == "qcp_other") {
      sawOther = true;
      EXPECT_FALSE(o.value("known").toBool());
      EXPECT_FALSE(o.value("updatable").toBool());
    }
  }
  EXPECT_TRUE(sawKv3 && sawOther) << r.out;
}

TEST(CliQuery, ModelAndVersionFromTheConsoleOrThePrinterOpenCode) {
  PrinterSimulator sim({"--model-name", "HALVORN RX-D25", "--version", "7.77"});
  ASSERT_TRUE(sim.Ready());
  CliResult r = RunCli({"query", sim.Address(), "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const QJsonObject o = Object(Lines(r.out).at(0));
  EXPECT_EQ(Str(o, "model"), "HALVORN RX-D25");
  EXPECT_EQ(Str(o, "version"), "7.77");

  r = RunCli({"query", sim.OtherAddress()});
  EXPECT_EQ(r.exitCode, 5);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find(sim.OtherAddress()), std::string::npos);
}

TEST(CliUsage, HelpListsTheExitCodesAndBadArgumentsAreInputErrors) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  CliResult r = RunCli({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("partial success"), std::string::npos);
  EXPECT_NE(r.out.find("quillon-cli download PACKAGE"), std::string::npos);
  r = RunCli({"download", "FW.RXF", "--printer", "q", "--jobs", "0"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("--jobs"), std::string::npos);
}

TEST(CliUsage, EachCommandHasItsOwnHelpAndAUsageErrorIsOneLineAndAHint) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  const CliResult viaHelp = RunCli({"help", "download"});
  const CliResult viaOption = RunCli({"download", "--help"});
  EXPECT_EQ(viaHelp.exitCode, 0);
  EXPECT_EQ(viaHelp.out, viaOption.out);
  EXPECT_NE(viaHelp.out.find("--printers-from FILE"), std::string::npos);
  EXPECT_NE(viaHelp.out.find("-j, --jobs N"), std::string::npos);
  EXPECT_EQ(viaHelp.out.find("Exit codes"), std::string::npos);  // not the overview
  EXPECT_EQ(viaHelp.out.find("quillon-cli query"), std::string::npos);
  EXPECT_NE(RunCli({"help", "info"}).out, viaHelp.out);

  CliResult r = RunCli({"download", "FW.RXF", "--printer", "q", "--bogus"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err,
            "quillon-cli: the command download takes no option --bogus\n"
            "Try 'quillon-cli download --help'.\n");
  r = RunCli({"upload"});
  EXPECT_EQ(r.err, "quillon-cli: unknown command upload\nTry 'quillon-cli --help'.\n");
  r = RunCli({"help", "upload"});
  EXPECT_EQ(r.exitCode, 2);
}

// The download's messages in the locale's language: English outside
// Japanese locales, the same message and exit code either way.
TEST(CliLanguage, DownloadMessagesFollowTheLocale) {
  const std::string dir = MakeTestDir("lang");
  const std::string bad = Put(dir, "BAD.RXF", Header({"FileFormat=RXF"}) + "no mark");
  auto messageIn = [&](const char* lang) {
    setenv("LANG", lang, 1);
    const CliResult r = RunCli({"download", bad, "--printer", "q", "--yes", "--init-items", "1", "--json"});
    setenv("LANG", "ja_JP.UTF-8", 1);
    EXPECT_EQ(r.exitCode, 4) << lang;
    return Str(Object(Lines(r.out).at(0)), "message");
  };
  EXPECT_EQ(messageIn("en_US.UTF-8"), "The file cannot be opened or its format is wrong.");
  EXPECT_EQ(messageIn("C.UTF-8"), "The file cannot be opened or its format is wrong.");
  EXPECT_EQ(messageIn("ja_JP.UTF-8"), "ﾌｧｲﾙが開けないか、形式が正しくありません。");
}

}  // namespace
