// A package whose path is longer than the 260 bytes of old systems (Linux
// paths reach 4096): given on the command line, the window keeps it whole,
// shows it, and the unattended run sends that package.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/history/DownloadHistory.h"
#include "core/package/DownDocFile.h"
#include "core/transfer/JobStream.h"
#include "tests/support/CupsTestSupport.h"
#include "tests/support/PrinterSimulator.h"
#include "tests/support/TestEnv.h"
#include "tests/gui/UiTestSupport.h"

using quillon::LengthCommand;
using quillon::RestartCommand;
using quillon::kJobPreamble;
using quillon::kJobPreambleSize;

namespace {

namespace fs = std::filesystem;
using quillon_test::JsonField;
using quillon_test::ReceivedJob;
using quillon_test::ShellQuote;

// The package moved into folders below the test's own until its path is at
// least `length` bytes long.
std::string DeepPackage(const std::string& shallow, std::size_t length) {
  std::string dir = quillon_test::MakeTestDir("deep");
  for (int i = 0; dir.size() + 1 + fs::path(shallow).filename().string().size() < length; ++i)
    dir += "/folder_" + std::to_string(i) + "_" + std::string(40, 'd');
  fs::create_directories(dir);
  const std::string deep = dir + "/" + fs::path(shallow).filename().string();
  fs::rename(shallow, deep);
  return deep;
}

TEST(LongPackagePath, AnUnattendedRunSendsThePackageNamedByAPathOver260Bytes) {
  ASSERT_FALSE(quillon_test::CupsdDir().empty()) << "needs the private cupsd";
  quillon_test::PrinterSimulator sim;
  ASSERT_TRUE(sim.Ready());
  std::string data;
  for (int i = 0; i < 2000; ++i) data += static_cast<char>((i * 29 + 5) & 0xFF);
  const std::string queue = ui_test::UniqueQueue("lp");
  ASSERT_TRUE(ui_test::AddModelQueue(queue, "socket://" + sim.Address() + ":9100/?snmp=false",
                                     "HALVORN KV3"));
  for (const std::size_t length : {std::size_t{300}, std::size_t{1500}}) {
    SCOPED_TRACE(length);
    const std::string pkg = DeepPackage(
        ui_test::MakePackage("LONG_" + std::to_string(length) + ".RXF", "HALVORN KV3", data,
                             {"DownLoadVersion=7.1"}),
        length);
    ASSERT_GE(pkg.size(), length);
    const std::string err = quillon_test::TestRoot() + "/long_stderr.txt";
    const std::string cmd = "timeout 90 " + ShellQuote(QUILLON_PROGRAM) + " " + ShellQuote(pkg) + " " +
                            ShellQuote("/PR=" + queue) + " /NM /NO 2>" + ShellQuote(err);
    EXPECT_EQ(quillon_test::RunCommand(cmd), 0) << quillon_test::ReadFileBytes(err);
  }
  const auto reports = sim.Reports(2);
  ASSERT_EQ(reports.size(), 2u);
  for (const std::string& report : reports) {
    EXPECT_EQ(JsonField(report, "verdict"), "\"ok\"");
    EXPECT_TRUE(ReceivedJob(report) == std::string(kJobPreamble, kJobPreambleSize) +
                                           LengthCommand(static_cast<std::uint32_t>(data.size())) + data +
                                           RestartCommand(1));
  }
  // The history names the package by its whole path.
  std::vector<quillon::HistoryEntry> rows;
  ASSERT_FALSE(quillon::DownloadHistory(TDownDocFile::DefaultIconFolder() + "history.sqlite")
                   .Read({}, rows)
                   .Failed());
  ASSERT_GE(rows.size(), 2u);
  std::size_t longest = 0;
  for (const auto& row : rows) {
    EXPECT_EQ(row.result, 0);
    longest = std::max(longest, row.packagePath.size());
  }
  EXPECT_GE(longest, 1500u);
  quillon_test::DeleteQueue(queue);
}

}  // namespace
