// The fleet pieces in process: host ranges and blocks, printers-file
// lines, version comparison, the console behind a spooler device, the
// earlier run's successes and the inventory's options.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/HostList.h"
#include "cli/Parallel.h"
#include "cli/PrinterLines.h"
#include "cli/ResumeFile.h"
#include "cli/Verify.h"
#include "cli/Versions.h"
#include "core/app/PrinterLock.h"
#include "core/app/QuillonApp.h"
#include "core/command/DownloadCommand.h"
#include "core/command/MessageBoxes.h"
#include "tests/support/TestEnv.h"

#include <QDateTime>

using quillon::DownloadCommandCore;
using quillon::DownloadInputs;
using quillon::PrinterLock;
using quillon::PrinterTarget;

using namespace cli;

namespace {

std::vector<std::string> Expand(const std::string& arg, std::string* error = nullptr) {
  std::vector<std::string> hosts;
  std::string e;
  if (!ExpandHostArgument(arg, hosts, e)) hosts = {"ERROR"};
  if (error) *error = e;
  return hosts;
}

}  // namespace

TEST(CliHostList, RangesBlocksAndPrinterAddresses) {
  EXPECT_EQ(Expand("10.1.2.3-5"), (std::vector<std::string>{"10.1.2.3", "10.1.2.4", "10.1.2.5"}));
  EXPECT_EQ(Expand("10.1.2.254-10.1.3.1").size(), 4u);  // across an octet
  EXPECT_EQ(Expand("printer-a.office.lan"), (std::vector<std::string>{"printer-a.office.lan"}));
  // A printer address gives its parsed host (names in lower case).
  EXPECT_EQ(Expand("ftp://PRN7.example/vesta0"), (std::vector<std::string>{"prn7.example"}));
  EXPECT_EQ(Expand("::1"), (std::vector<std::string>{"::1"}));
  EXPECT_EQ(Expand("ftp://[::1]:2121/vesta0"), (std::vector<std::string>{"::1"}));
  EXPECT_EQ(Expand("ftp://prn.example:21/vesta0"), (std::vector<std::string>{"prn.example"}));

  // Blocks: host addresses only, from any address inside the block.
  const auto block = Expand("192.168.7.77/29");
  ASSERT_EQ(block.size(), 6u);
  EXPECT_EQ(block.front(), "192.168.7.73");
  EXPECT_EQ(block.back(), "192.168.7.78");
  EXPECT_EQ(Expand("192.168.7.9/32"), (std::vector<std::string>{"192.168.7.9"}));
  EXPECT_EQ(Expand("10.0.0.0/22").size(), 1022u);

  std::string error;
  EXPECT_EQ(Expand("10.0.0.0/21", &error), (std::vector<std::string>{"ERROR"}));
  EXPECT_NE(error.find("2048"), std::string::npos) << error;
  EXPECT_NE(error.find("1024"), std::string::npos) << error;
  EXPECT_EQ(Expand("10.0.0.0-10.0.4.0", &error), (std::vector<std::string>{"ERROR"}));
  EXPECT_EQ(Expand("10.0.0.9-3", &error), (std::vector<std::string>{"ERROR"}));
  EXPECT_NE(error.find("ends before it starts"), std::string::npos);
  EXPECT_EQ(Expand("10.0.0.9-300", &error), (std::vector<std::string>{"ERROR"}));
  EXPECT_EQ(Expand("10.0.0/24", &error), (std::vector<std::string>{"ERROR"}));
  EXPECT_EQ(Expand("10.0.0.0/33", &error), (std::vector<std::string>{"ERROR"}));
  EXPECT_EQ(Expand("", &error), (std::vector<std::string>{"ERROR"}));
  // An address whose folder could be read as another host names none.
  EXPECT_EQ(Expand("ftp://10.0.0.1/10.0.0.2/vesta0", &error), (std::vector<std::string>{"ERROR"}));
  EXPECT_NE(error.find("holds \"/\""), std::string::npos) << error;
  EXPECT_EQ(HostOfPrinterName("ftp://10.0.0.1/10.0.0.2/vesta0"), "ftp://10.0.0.1/10.0.0.2/vesta0");
  EXPECT_EQ(HostOfPrinterName("ftp://[0::1]:21/vesta0/"), "::1");

  std::vector<std::string> hosts;
  ASSERT_TRUE(ExpandHosts({"10.0.0.1-2", "10.0.0.2", "Host", "host"}, hosts, error));
  EXPECT_EQ(hosts, (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "Host"}));
}

TEST(CliPrinterLines, ModelFieldsQuotesAndComments) {
  std::vector<PrinterLine> lines;
  std::string error;
  ASSERT_TRUE(ParsePrinterLines("# header\n"
                                "ftp://10.0.0.7/vesta0 model=KV3  # 2.10\r\n"
                                "  Queue1  \n"
                                "\n"
                                "ftp://10.0.0.8/vesta0 model=\"HALVORN CORVIA KV3\"\n",
                                lines, error))
      << error;
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].printer, "ftp://10.0.0.7/vesta0");
  EXPECT_EQ(lines[0].model, "KV3");
  EXPECT_EQ(lines[1].printer, "Queue1");
  EXPECT_EQ(lines[1].model, "");
  EXPECT_EQ(lines[2].model, "HALVORN CORVIA KV3");

  EXPECT_FALSE(ParsePrinterLines("q1\nq2 modle=KV3\n", lines, error));
  EXPECT_NE(error.find("line 2"), std::string::npos) << error;
  EXPECT_FALSE(ParsePrinterLines("q2 model=\n", lines, error));
  EXPECT_FALSE(ParsePrinterLines("q2 model=\"KV3\n", lines, error));

  // What an inventory writes reads back the same.
  for (const std::string model : {"KV3", "HALVORN CORVIA KV3"}) {
    ASSERT_TRUE(ParsePrinterLines(PrinterLineText("10.0.0.9", model, "2.10"), lines, error));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].printer, "ftp://10.0.0.9/vesta0");
    EXPECT_EQ(lines[0].model, model);
  }
  EXPECT_EQ(PrinterLineText("::1", "", ""), "ftp://[::1]/vesta0");

  // The plain list keeps reading such files as printer names.
  EXPECT_EQ(ParsePrinterList("ftp://h/vesta0 model=KV3\nq"),
            (std::vector<std::string>{"ftp://h/vesta0", "q"}));
}

TEST(CliVersions, NormalisedPartsCompareAsNumbers) {
  EXPECT_EQ(NormaliseVersion(" V02.10 "), "2.10");
  EXPECT_EQ(NormaliseVersion("Ver.2.10.0"), "2.10");
  EXPECT_EQ(NormaliseVersion("2.10A"), "2.10a");
  EXPECT_EQ(NormaliseVersion("none"), "");
  struct {
    const char* a;
    const char* b;
    int order;
  } cases[] = {
      {"2.05", "2.10", -1}, {"2.10", "2.9", 1},  {"2.10", "V2.10", 0}, {"2.10", "2.10.0", 0},
      {"2.10", "02.010", 0}, {"2.10a", "2.10", 1}, {"2.10a", "2.10b", -1}, {"3", "2.99", 1},
      {"2.1", "2.10", -1},
  };
  for (const auto& c : cases) {
    int order = 9;
    ASSERT_TRUE(CompareVersions(c.a, c.b, order)) << c.a << " " << c.b;
    EXPECT_EQ(order, c.order) << c.a << " vs " << c.b;
  }
  int order = 0;
  EXPECT_FALSE(CompareVersions("", "2.10", order));
  EXPECT_FALSE(CompareVersions("2.10", "unknown", order));
}

TEST(CliVerify, ConsoleHostOfASpoolerDevice) {
  EXPECT_EQ(ConsoleHostOfDevice("socket://10.0.0.5:9100/?snmp=false"), "10.0.0.5");
  EXPECT_EQ(ConsoleHostOfDevice("lpd://user@prn.example/queue"), "prn.example");
  EXPECT_EQ(ConsoleHostOfDevice("ipp://[::1]:631/printers/x"), "::1");
  EXPECT_EQ(ConsoleHostOfDevice("usb://Maker/Model"), "");
  EXPECT_EQ(ConsoleHostOfDevice("file:/dev/null"), "");
  EXPECT_EQ(ConsoleHostOfDevice(""), "");

  const Verification none = VerifyVersion("", "2.10", 5);
  EXPECT_EQ(none.outcome, Verification::kNotPossible);
  EXPECT_STREQ(OutcomeText(none.outcome), "not possible");
}

TEST(CliResume, OnlySuccessesOfTheEarlierRunAreLeftOut) {
  const std::string path = quillon_test::MakeTestDir("resume") + "/result.jsonl";
  ASSERT_TRUE(quillon_test::WriteFileBytes(
      path,
      "{\"printer\":\"ftp://A/vesta0\",\"exit\":0}\n"
      "{\"printer\":\"Q1\",\"exit\":6}\n"
      "not json\n"
      "{\"printer\":\"q2\",\"exit\":0,\"outcome\":\"skipped\"}\n"
      "{\"printer\":\"ftp://b/vesta0\",\"exit\":11}\n"));
  std::set<std::string> keys;
  std::string error;
  ASSERT_TRUE(SucceededPrinters(path, keys, error));
  EXPECT_EQ(keys, (std::set<std::string>{PrinterTarget::IdentityOfText("ftp://a/other"),
                                         PrinterTarget::IdentityOfText("Q2")}));
  EXPECT_FALSE(SucceededPrinters(path + ".missing", keys, error));
}

TEST(CliParallel, EveryItemOnceAndReportedInOrder) {
  std::vector<std::atomic<int>> ran(50);
  std::vector<std::size_t> order;
  RunParallel(50, 7, [&](std::size_t i) { ran[i]++; },
              [&](std::size_t i, bool started) {
                EXPECT_TRUE(started);
                order.push_back(i);
              });
  for (auto& r : ran) EXPECT_EQ(r.load(), 1);
  ASSERT_EQ(order.size(), 50u);
  for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], i);
}

TEST(CliArguments, InventoryTakesManyHostsAndDefaultsToSixteenJobs) {
  Options o;
  std::string e;
  ASSERT_TRUE(ParseArguments({"inventory", "10.0.0.1-9", "h2", "--json", "--printers-out", "p"}, o, e))
      << e;
  EXPECT_EQ(o.hosts, (std::vector<std::string>{"10.0.0.1-9", "h2"}));
  EXPECT_EQ(o.jobs, 16);
  EXPECT_EQ(o.printersOut, "p");
  ASSERT_TRUE(ParseArguments({"inventory", "--hosts-from", "f", "--jobs", "3"}, o, e));
  EXPECT_EQ(o.jobs, 3);
  EXPECT_FALSE(ParseArguments({"inventory", "--json"}, o, e));
  EXPECT_FALSE(ParseArguments({"inventory", "h", "--verify"}, o, e));
  ASSERT_TRUE(ParseArguments({"download", "P", "--printer", "q", "--skip-current", "--verify",
                              "--verify-timeout", "20", "--resume", "r.jsonl",
                              "--allow-downgrade"},
                             o, e))
      << e;
  EXPECT_TRUE(o.skipCurrent && o.verify && o.allowDowngrade);
  EXPECT_EQ(o.verifyTimeout, 20);
  EXPECT_EQ(o.resume, "r.jsonl");
  EXPECT_FALSE(ParseArguments({"download", "P", "--printer", "q", "--verify-timeout", "0"}, o, e));
  EXPECT_FALSE(o.noHold);
  ASSERT_TRUE(ParseArguments({"download", "P", "--printer", "q", "--no-hold"}, o, e)) << e;
  EXPECT_TRUE(o.noHold);
  EXPECT_FALSE(ParseArguments({"job", "P", "--printer", "q", "-o", "f", "--no-hold"}, o, e));
}

TEST(PrinterLock, SharedFolderAndFilesOpenToEveryUser) {
  const std::string root = quillon_test::MakeTestDir("shared");
  const std::string folder = root + "/locks";
  const mode_t old = ::umask(077);
  ASSERT_TRUE(PrinterLock::UsableSharedFolder(folder));
  struct stat st {};
  ASSERT_EQ(::stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 01777u);
  EXPECT_TRUE(PrinterLock::UsableSharedFolder(folder));  // again: as it is

  // Not a folder, or a link another user could point anywhere.
  ASSERT_TRUE(quillon_test::WriteFileBytes(root + "/file", "x"));
  EXPECT_FALSE(PrinterLock::UsableSharedFolder(root + "/file"));
  ASSERT_EQ(::symlink(folder.c_str(), (root + "/link").c_str()), 0);
  EXPECT_FALSE(PrinterLock::UsableSharedFolder(root + "/link"));

  const char* saved = std::getenv("QUILLON_LOCK_DIR");
  const std::string before = saved ? saved : "";
  ::setenv("QUILLON_LOCK_DIR", folder.c_str(), 1);
  EXPECT_EQ(PrinterLock::LockFolder(), folder);
  {
    PrinterLock lock;
    ASSERT_TRUE(lock.TryAcquire(PrinterTarget::Of("ftp://10.9.9.9/vesta0")));
    ASSERT_EQ(::stat(PrinterLock::LockPath(PrinterTarget::Of("ftp://10.9.9.9/vesta0")).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);  // whatever the umask
  }
  // A lock file that is a link is not followed.
  const std::string linked = PrinterLock::LockPath(PrinterTarget::Of("q-linked"));
  ASSERT_EQ(::symlink((root + "/file").c_str(), linked.c_str()), 0);
  PrinterLock refused;
  EXPECT_FALSE(refused.TryAcquire(PrinterTarget::Of("q-linked")));
  ::umask(old);
  ::setenv("QUILLON_LOCK_DIR", before.c_str(), 1);
}

TEST(DownloadLog, DownloadsOfOnePackageEndingInTheSameSecondAllStay) {
  TQUILLONApp app;
  app.SaveSettingsOnExit = false;
  quillon::MessageBoxes boxes;
  DownloadCommandCore command(app, boxes);
  command.LogPath = quillon_test::MakeTestDir("log") + "/DownLoad.log";
  const QDateTime when(QDate(2026, 12, 8), QTime(10, 0, 0));
  command.Now = [when] { return when; };
  DownloadInputs in;
  in.packagePath = "/p/FW.RXF";
  in.packageState = "Test firmware 3.01";
  for (const char* printer : {"q1", "q2", "q3"}) {
    in.printer = printer;
    in.port = std::string("socket://") + printer;
    command.WriteDownloadLog(in);
  }
  const std::string log = quillon_test::ReadFileBytes(command.LogPath);
  for (const char* printer : {"q1", "q2", "q3"})
    EXPECT_NE(log.find(std::string("=") + printer + ",socket://" + printer), std::string::npos) << log;
  EXPECT_NE(log.find(" (3)]"), std::string::npos) << log;
}
