// The printer a download names is the printer it asks, locks, sends to and
// records: quillon-cli against printer simulators.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "core/history/DownloadHistory.h"
#include "core/package/DownDocFile.h"
#include "tests/cli/CliProcess.h"
#include "tests/cli/CliRecords.h"
#include "tests/support/DownloadSupport.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/PrinterSimulator.h"
#include "tests/support/TestEnv.h"
#include "tests/support/CupsTestSupport.h"

using namespace quillon_test;
using namespace package_test;

namespace {

const char kModel[] = "HALVORN CORVIA KV3";  // command flag 1, a target of the package

std::string Field(const std::string& line, const char* key) {
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line));
  if (!doc.isObject()) return {};
  const QJsonValue v = doc.object().value(QLatin1String(key));
  return v.isString() ? v.toString().toStdString() : v.isDouble() ? std::to_string(v.toInt()) : "";
}

class CliTarget : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(CupsdDir().empty()) << "the private cupsd fixture did not run";
    data_ = Pattern(60000, 7);
    package_ = Put(MakeTestDir("pkg"), "FW.RXF",
                   Header({"FileFormat=RXF", "DownLoadDesc=Target firmware", "DownLoadVersion=3.02",
                           "EnableCommand=1", "Reboot=1", "DownLoadPrinter=KV3"}) +
                       '\x1A' + data_);
  }
  void TearDown() override { EXPECT_EQ(JobFilesLeft(), 0) << "job file left behind"; }

  static std::vector<std::string> LogValues() {
    std::vector<std::string> out;
    for (const auto& entry : DownloadLogEntries()) out.push_back(entry.second);
    return out;
  }
  static std::vector<quillon::HistoryEntry> History() { return HistoryEntries(); }

  std::string data_;
  std::string package_;
};

TEST_F(CliTarget, AFolderNamingAnotherHostIsRefusedBeforeAnyConsoleOrUpload) {
  // A answers as a model the package takes, B as one it does not: the old
  // parsers asked A and uploaded to B.
  PrinterSimulator a({"--model-name", kModel});
  PrinterSimulator b({"--model-name", "RX-140"});
  ASSERT_TRUE(a.Ready());
  ASSERT_TRUE(b.Ready());
  for (const std::string& bad : {"ftp://" + a.Address() + "/" + b.Address() + "/vesta0",
                                 "ftp://" + a.Address() + "/vesta0/sub", "ftp://" + a.Address() + "/..",
                                 std::string("ftp:///vesta0")}) {
    SCOPED_TRACE(bad);
    const CliResult r = RunCli({"download", package_, "--printer", bad, "--yes", "--init-items", "1", "--json"});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.err.find(bad), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
  // The same refusal from a printers file, whatever else it lists.
  const std::string list = MakeTestDir("list") + "/printers.txt";
  ASSERT_TRUE(WriteFileBytes(list, "ftp://" + a.Address() + "/vesta0\nftp://" + a.Address() + "/" +
                                       b.Address() + "/vesta0\n"));
  const CliResult r = RunCli({"download", package_, "--printers-from", list, "--yes", "--init-items", "1", "--json"});
  EXPECT_EQ(r.exitCode, 2) << r.err;

  EXPECT_TRUE(a.ConsoleSessions(0).empty()) << "a console was asked";
  EXPECT_TRUE(b.ConsoleSessions(0).empty()) << "a console was asked";
  EXPECT_TRUE(a.Reports(0).empty());
  EXPECT_TRUE(b.Reports(0).empty());
  EXPECT_TRUE(LogValues().empty());
  EXPECT_TRUE(History().empty());
}

TEST_F(CliTarget, ATrailingSlashEndsTheFolderAndEveryRecordUsesOneSpelling) {
  PrinterSimulator sim({"--model-name", kModel});
  ASSERT_TRUE(sim.Ready());
  const std::string canonical = "ftp://" + sim.Address() + "/vesta0";
  // Scheme case, the default port and a trailing slash: one printer.
  const std::string typed = "FTP://" + sim.Address() + ":21/vesta0/";
  const CliResult r = RunCli({"download", package_, "--printer", typed, "--yes", "--init-items", "1", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 1u) << r.out;
  EXPECT_EQ(Field(lines[0], "printer"), canonical);
  EXPECT_EQ(Field(lines[0], "route"), "ftp");
  // Host A, folder vesta0: the job is in the simulator's vesta0.
  const auto reports = sim.Reports(1);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(ReceivedJob(reports[0]), WrappedStream(data_, 1));
  EXPECT_EQ(sim.ConsoleSessions(1).size(), 1u);

  const auto log = LogValues();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].rfind(canonical + ",", 0), 0u) << log[0];
  auto rows = History();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].printer, canonical);

  // A row an earlier version wrote as typed still reads back, and the
  // history's filter finds both rows by any spelling of the printer.
  quillon::HistoryEntry old = rows[0];
  old.printer = "ftp://" + sim.Address() + ":21/vesta0";
  ASSERT_FALSE(quillon::DownloadHistory().Record(old).Failed());
  for (const std::string& filter : {canonical, typed, old.printer}) {
    SCOPED_TRACE(filter);
    const CliResult h = RunCli({"history", "--printer", filter, "--json"});
    ASSERT_EQ(h.exitCode, 0) << h.err;
    EXPECT_EQ(Lines(h.out).size(), 2u) << h.out;
  }
  const CliResult other = RunCli({"history", "--printer", "ftp://" + sim.Address() + "/other", "--json"});
  EXPECT_TRUE(Lines(other.out).empty()) << other.out;
  // A filter that is no printer still matches its own text.
  const CliResult text = RunCli({"history", "--printer", "ftp://x/y/z", "--json"});
  EXPECT_EQ(text.exitCode, 0) << text.err;
  EXPECT_TRUE(Lines(text.out).empty()) << text.out;
}

TEST_F(CliTarget, TwoSpellingsOfOnePrinterTakeOneLock) {
  // The first upload stays at its store command while the second starts.
  PrinterSimulator sim({"--model-name", kModel, "--hold", "STOR"});
  ASSERT_TRUE(sim.Ready());
  CliProcess first({"download", package_, "--printer", "ftp://" + sim.Address() + "/vesta0", "--model",
                    kModel, "--yes", "--init-items", "1", "--json"});
  ASSERT_TRUE(sim.WaitHeld("STOR")) << first.ErrSoFar();
  CliProcess second({"download", package_, "--printer", "ftp://" + sim.Address() + ":21/vesta0",
                     "--model", kModel, "--yes", "--init-items", "1", "--json"});
  // Refused at once; a second upload would stop at the held store too.
  const CliResult r = second.Wait(20000);
  EXPECT_EQ(r.exitCode, 10) << r.err;
  EXPECT_FALSE(sim.Held("STOR", 2)) << "the second upload reached the printer";
  sim.Release();
  EXPECT_EQ(first.Wait(60000).exitCode, 0);
}

}  // namespace
