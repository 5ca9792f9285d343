// The program itself, run unattended (/NO with a package and a printer) on
// the offscreen platform: it must end by itself, with or without /NM, and
// the printer simulator must hold the exact job, through a CUPS queue to its
// raw port and through its FTP server.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/history/DownloadHistory.h"
#include "core/package/DownDocFile.h"
#include "core/transfer/JobStream.h"
#include "tests/support/TestEnv.h"
#include "tests/support/PrinterSimulator.h"
#include "tests/support/CupsTestSupport.h"
#include "tests/gui/UiTestSupport.h"

using quillon::LengthCommand;
using quillon::RestartCommand;
using quillon::kJobPreamble;
using quillon::kJobPreambleSize;

namespace {

using quillon_test::JsonField;
using quillon_test::ReceivedJob;
using quillon_test::ShellQuote;

class UnattendedRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(quillon_test::CupsdDir().empty()) << "needs the private cupsd";
    ASSERT_TRUE(sim_.Ready());
    for (int i = 0; i < 3000; ++i) data_ += static_cast<char>((i * 37 + 11) & 0xFF);
    package_ = ui_test::MakePackage("UNATT.RXF", "HALVORN KV3", data_,
                                    {"DownLoadDesc=無人", "DownLoadVersion=4.2"});
  }

  void TearDown() override {
    for (const std::string& q : queues_) quillon_test::DeleteQueue(q);
  }

  // The program with its arguments; its exit code (124: it did not end).
  // env: a prefix such as "env -u DISPLAY".
  int Run(const std::vector<std::string>& args, const std::string& env = {}) {
    std::string cmd = env + " timeout 90 " + ShellQuote(QUILLON_PROGRAM);
    for (const std::string& a : args) cmd += " " + ShellQuote(a);
    cmd += " 2>" + ShellQuote(quillon_test::TestRoot() + "/stderr.txt");
    return quillon_test::RunCommand(cmd);
  }

  std::string SimQueue() {
    const std::string name = ui_test::UniqueQueue("ur");
    EXPECT_TRUE(ui_test::AddModelQueue(
        name, "socket://" + sim_.Address() + ":9100/?snmp=false", "HALVORN KV3"));
    queues_.push_back(name);
    return name;
  }

  std::string ExpectedJob(unsigned initItems) const {
    return std::string(kJobPreamble, kJobPreambleSize) +
           LengthCommand(static_cast<std::uint32_t>(data_.size())) + data_ +
           RestartCommand(initItems);
  }

  void ExpectReceived(const std::string& route, std::size_t count) {
    const auto reports = sim_.Reports(count);
    ASSERT_EQ(reports.size(), count);
    EXPECT_EQ(JsonField(reports.back(), "route"), "\"" + route + "\"");
    EXPECT_EQ(JsonField(reports.back(), "verdict"), "\"ok\"");
    EXPECT_EQ(ReceivedJob(reports.back()), ExpectedJob(1));
  }

  std::string Err() const {
    return quillon_test::ReadFileBytes(quillon_test::TestRoot() + "/stderr.txt");
  }

  std::vector<quillon::HistoryEntry> History() const {
    std::vector<quillon::HistoryEntry> rows;
    EXPECT_FALSE(quillon::DownloadHistory(TDownDocFile::DefaultIconFolder() + "history.sqlite")
                     .Read({}, rows)
                     .Failed());
    return rows;
  }

  std::string Log() const {
    return quillon_test::ReadFileBytes(TDownDocFile::DefaultIconFolder() + "DownLoad.log");
  }

  quillon_test::PrinterSimulator sim_;
  std::string data_;
  std::string package_;
  std::vector<std::string> queues_;
};

TEST_F(UnattendedRun, SilentRunToACupsQueueEndsAndThePrinterHasTheJob) {
  const std::string queue = SimQueue();
  EXPECT_EQ(Run({package_, "/PR=" + queue, "/NM", "/NO"}), 0);
  ExpectReceived("raw", 1);
  const auto rows = History();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].result, 0);
  EXPECT_EQ(rows[0].printer, queue);
  EXPECT_EQ(rows[0].version, "4.2");
  const std::string log = Log();
  EXPECT_NE(log.find(package_ + ",無人 4.2=" + queue + ",socket://" + sim_.Address()),
            std::string::npos)
      << log;
}

TEST_F(UnattendedRun, RunWithoutNmAnswersEachBoxWithItsDefaultAndEnds) {
  const std::string queue = SimQueue();
  EXPECT_EQ(Run({package_, "/PR=" + queue, "/NO"}), 0);
  ExpectReceived("raw", 1);
  // Every box that would have shown went to the error stream.
  const std::string err = quillon_test::ReadFileBytes(quillon_test::TestRoot() + "/stderr.txt");
  EXPECT_NE(err.find("ﾊﾞｰｼﾞｮﾝｱｯﾌﾟを開始します。"), std::string::npos) << err;
  EXPECT_NE(err.find("ﾀﾞｳﾝﾛｰﾄﾞが終了しました。"), std::string::npos) << err;
  EXPECT_NE(Log().find(queue), std::string::npos);
}

TEST_F(UnattendedRun, SilentRunToTheFtpServerEndsAndThePrinterHasTheJob) {
  EXPECT_EQ(Run({package_, "/HN=" + sim_.Address(), "/M=HALVORN KV3", "/NM", "/NO"}), 0);
  ExpectReceived("ftp", 1);
  EXPECT_NE(Log().find("=ftp://" + sim_.Address() + "/vesta0,ftp://" + sim_.Address() + "/vesta0"),
            std::string::npos)
      << Log();
}

TEST_F(UnattendedRun, FailedRunEndsWithTheCodeOfItsFailureAndIsKeptInTheHistoryOnly) {
  // No such queue: the printer cannot be opened.
  EXPECT_EQ(Run({package_, "/PR=no_such_queue_here", "/NM", "/NO"}), 5);
  EXPECT_EQ(Log().find("no_such_queue_here"), std::string::npos);
  EXPECT_TRUE(sim_.Reports(0).empty());
  const auto rows = History();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].printer, "no_such_queue_here");
  EXPECT_EQ(rows[0].result, 32);
  EXPECT_EQ(rows[0].packagePath, package_);
}

TEST_F(UnattendedRun, MissingOrFolderPackageEndsWithinSecondsWithItsCode) {
  const auto begin = std::chrono::steady_clock::now();
  // An absolute path that names nothing is the package, not an unknown option.
  const std::string missing = quillon_test::TestRoot() + "/abs/missing.RXF";
  EXPECT_EQ(Run({missing, "/HN=" + sim_.Address(), "/M=HALVORN KV3", "/NM", "/NO"}), 2);
  EXPECT_NE(Err().find(missing + ": " + std::strerror(ENOENT)), std::string::npos) << Err();
  // A folder given as the package.
  const std::string folder = quillon_test::MakeTestDir("folder");
  EXPECT_EQ(Run({folder, "/HN=" + sim_.Address(), "/M=HALVORN KV3", "/NM", "/NO"}), 4);
  EXPECT_NE(Err().find(folder + ": is a directory"), std::string::npos) << Err();
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(30));
  EXPECT_TRUE(sim_.Reports(0).empty());
  EXPECT_TRUE(Log().empty());
}

TEST_F(UnattendedRun, NoPackageOrNoPrinterWithoutADisplayEndsAndSaysWhatIsMissing) {
  EXPECT_EQ(Run({"/PR=somewhere", "/NM", "/NO"}), 2);
  EXPECT_NE(Err().find("no package given"), std::string::npos) << Err();
  EXPECT_EQ(Run({package_, "/NM", "/NO"}), 2);
  EXPECT_NE(Err().find("no printer given"), std::string::npos) << Err();
}

TEST_F(UnattendedRun, WithoutAnyDisplayItTellsHowToRunAndDoesNotAbort) {
  const int code = Run({package_, "/NM", "/NO"}, "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM");
  EXPECT_EQ(code, 2);
  const std::string err = Err();
  EXPECT_NE(err.find("QT_QPA_PLATFORM=offscreen"), std::string::npos) << err;
  EXPECT_NE(err.find("quillon-cli"), std::string::npos) << err;
  EXPECT_EQ(err.find("Reinstalling"), std::string::npos) << err;
}

TEST_F(UnattendedRun, MalformedPrinterAddressEndsAsAnInputErrorBeforeAnythingIsAsked) {
  quillon_test::PrinterSimulator other({"--model-name", "RX-140"});
  ASSERT_TRUE(other.Ready());
  // The folder names another host: the old parsers asked this one's
  // console and uploaded to the other.
  const std::string bad = "ftp://" + sim_.Address() + "/" + other.Address() + "/vesta0";
  EXPECT_EQ(Run({package_, "/PR=" + bad, "/NM", "/NO"}), 2);
  EXPECT_NE(Err().find(bad), std::string::npos) << Err();
  EXPECT_NE(Err().find("holds \"/\""), std::string::npos) << Err();
  EXPECT_EQ(Run({package_, "/HN=" + sim_.Address() + "/x", "/NM", "/NO"}), 2);
  EXPECT_NE(Err().find("/HN="), std::string::npos) << Err();
  EXPECT_TRUE(sim_.ConsoleSessions(0).empty());
  EXPECT_TRUE(other.ConsoleSessions(0).empty());
  EXPECT_TRUE(sim_.Reports(0).empty());
  EXPECT_TRUE(other.Reports(0).empty());
  EXPECT_TRUE(History().empty());
}

TEST_F(UnattendedRun, AnyFtpSpellingIsSentToItsHostAndRecordedCanonically) {
  EXPECT_EQ(Run({package_, "/PR=FTP://" + sim_.Address() + ":21/vesta0/", "/M=HALVORN KV3", "/NM", "/NO"}),
            0)
      << Err();
  ExpectReceived("ftp", 1);
  const std::string canonical = "ftp://" + sim_.Address() + "/vesta0";
  EXPECT_NE(Log().find("=" + canonical + ","), std::string::npos) << Log();
  const auto rows = History();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].printer, canonical);
}

// A header naming 40 data files in a list longer than 260 bytes, whose
// first 260 bytes end at the name of another file that exists: the window
// sends every file whole, in order, and never the other file's data.
TEST_F(UnattendedRun, FortyDataFilesInALongListAreAllSentOverFtp) {
  const std::string dir = quillon_test::MakeTestDir("forty");
  std::string list, data;
  for (int i = 0; i < 40; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "FIRMWARE_BLOCK_%02d_X.BIN", i);
    std::string bytes(300 + static_cast<std::size_t>(i), static_cast<char>('A' + i % 26));
    quillon_test::WriteFileBytes(dir + "/" + name, bytes);
    list += (i ? "," : "") + std::string(name);
    data += bytes;
  }
  ASSERT_GT(list.size(), 260u);
  const std::string cut = list.substr(0, 260);
  quillon_test::WriteFileBytes(dir + "/" + cut.substr(cut.rfind(',') + 1), "another file's data");
  const std::string header = "[RX_DownLoad]\r\nFileFormat=RXF\r\nDownLoadPrinter=HALVORN KV3\r\n"
                             "DownLoadFile=" + list + "\r\n";
  quillon_test::WriteFileBytes(dir + "/FORTY.RXF", header);
  EXPECT_EQ(Run({dir + "/FORTY.RXF", "/PR=ftp://" + sim_.Address() + "/vesta0", "/M=HALVORN KV3", "/NM", "/NO"}), 0)
      << Err();
  const auto reports = sim_.Reports(1);
  ASSERT_EQ(reports.size(), 1u) << Err();
  EXPECT_EQ(JsonField(reports[0], "verdict"), "\"ok\"");
  EXPECT_EQ(ReceivedJob(reports[0]), std::string(kJobPreamble, kJobPreambleSize) +
                                         LengthCommand(static_cast<std::uint32_t>(data.size())) + data +
                                         RestartCommand(1));
}

// quillon-cli and the window for one printer, spelt two ways: the window
// finds the lock the CLI holds while its upload waits, and ends busy with
// nothing sent (two windows never run at once: the second one ends at start).
TEST(UnattendedRunLock, TwoSpellingsOfOnePrinterTakeOneLockAcrossTheCliAndTheWindow) {
  quillon_test::PrinterSimulator sim({"--hold", "STOR"});
  ASSERT_TRUE(sim.Ready());
  const std::string package = ui_test::MakePackage("LOCK.RXF", "HALVORN KV3", std::string(2000, 'x'));
  const std::string first = "ftp://" + sim.Address() + "/vesta0";
  std::vector<const char*> argv{QUILLON_CLI_PROGRAM, "download", package.c_str(), "--printer", first.c_str(),
                                "--model", "HALVORN KV3", "--yes", "--init-items", "1", "-q", nullptr};
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
      ::dup2(null, 1);
      ::dup2(null, 2);
    }
    ::execv(argv[0], const_cast<char* const*>(argv.data()));
    ::_exit(127);
  }
  const bool held = sim.WaitHeld("STOR");
  const std::string errPath = quillon_test::TestRoot() + "/stderr-lock.txt";
  const int second =
      held ? quillon_test::RunCommand("timeout 60 " + ShellQuote(QUILLON_PROGRAM) + " " + ShellQuote(package) + " " +
                                      ShellQuote("/PR=FTP://" + sim.Address() + ":21/vesta0/") +
                                      " '/M=HALVORN KV3' /NM /NO 2>" + ShellQuote(errPath))
           : -1;
  sim.Release();
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(held);
  EXPECT_EQ(second, 10) << quillon_test::ReadFileBytes(errPath);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(sim.Reports(1).size(), 1u) << "only the CLI sends";
}

// The model query of the start-up waits on the window's own thread for a
// console that says nothing: a SIGTERM must end it, and the run as
// interrupted, at once rather than at the query's bounds.
TEST(UnattendedRunSignal, SigtermDuringASilentConsoleQueryEndsTheRunWithinASecond) {
  quillon_test::PrinterSimulator sim({"--hold", "CONSOLE"});
  ASSERT_TRUE(sim.Ready());
  std::string data(2000, 'x');
  const std::string package = ui_test::MakePackage("SIGQ.RXF", "HALVORN KV3", data);
  const std::string errPath = quillon_test::TestRoot() + "/stderr-sigq.txt";
  const std::string printer = "/PR=ftp://" + sim.Address() + "/vesta0";
  std::vector<const char*> argv{QUILLON_PROGRAM, package.c_str(), printer.c_str(), "/NM", "/NO",
                                nullptr};
  const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(err, 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(err, 2);
    ::execv(argv[0], const_cast<char* const*>(argv.data()));
    ::_exit(127);
  }
  ::close(err);
  const bool held = sim.WaitHeld("CONSOLE");
  if (held) ::usleep(300 * 1000);  // the query is in its wait
  using Clock = std::chrono::steady_clock;
  const Clock::time_point signalled = Clock::now();
  ::kill(pid, SIGTERM);
  int status = 0;
  pid_t done = 0;
  while ((done = ::waitpid(pid, &status, WNOHANG)) == 0 && Clock::now() - signalled < std::chrono::seconds(30))
    ::usleep(10 * 1000);
  const auto took = Clock::now() - signalled;
  if (done == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  const std::string errText = quillon_test::ReadFileBytes(errPath);
  ASSERT_TRUE(held) << errText;
  ASSERT_EQ(done, pid) << "did not end";
  EXPECT_LT(took, std::chrono::milliseconds(1500)) << errText;
  ASSERT_TRUE(WIFEXITED(status)) << errText;
  EXPECT_EQ(WEXITSTATUS(status), 8) << errText;
  EXPECT_TRUE(sim.Reports(0).empty()) << "nothing may be sent";
}

}  // namespace
