// What a killed upload leaves in the temporary folder: the next run clears
// it, and a run that is alive keeps its own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/TempNames.h"
#include "tests/cli/CliProcess.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/PrinterSimulator.h"
#include "tests/support/TestEnv.h"
#include "tests/support/WaitUntil.h"

using namespace quillon_test;
using namespace package_test;
namespace fs = std::filesystem;

namespace {

const char kModel[] = "HALVORN CORVIA KV3";

std::string Ftp(const PrinterSimulator& sim) { return "ftp://" + sim.Address() + "/vesta0"; }

// dwn*.tmp in the temporary folder.
std::vector<std::string> JobFiles() {
  std::vector<std::string> out;
  for (const std::string& name : WorkLeftovers())
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0) out.push_back(name);
  return out;
}

void Age(const std::string& path) {
  const struct timespec old[2] = {{::time(nullptr) - 60, 0}, {::time(nullptr) - 60, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, 0), 0) << path;
}

TEST(CliLeftovers, AnUploadKilledWhileItSendsLeavesNothingAfterTheNextRun) {
  const std::string package =
      Put(MakeTestDir("pkg"), "FW.RXF",
          Header({"FileFormat=RXF", "DownLoadDesc=Test firmware", "DownLoadVersion=3.01",
                  "EnableCommand=1", "Reboot=1", "DownLoadPrinter=KV3"}) +
              '\x1A' + Pattern(120000, 43));
  ASSERT_TRUE(WorkLeftovers().empty());
  {
    // The printer holds its answer to the store command: the job file is
    // there, being sent, when the upload is killed.
    PrinterSimulator held({"--model-name", kModel, "--hold", "STOR"});
    ASSERT_TRUE(held.Ready());
    CliProcess cli({"download", package, "--printer", Ftp(held), "--model", kModel, "--yes", "--init-items", "1",
                    "--json"});
    ASSERT_TRUE(held.WaitHeld("STOR")) << cli.ErrSoFar();
    const std::vector<std::string> sending = JobFiles();
    ASSERT_EQ(sending.size(), 1u);
    // Alive and sending: a sweep of another run leaves its job file, however old.
    Age(platform::TempFolder() + sending[0]);
    EXPECT_EQ(platform::RemoveStaleTempLeftovers("dwn"), 0);
    EXPECT_EQ(JobFiles(), sending);
    cli.Signal(SIGKILL);
    EXPECT_EQ(cli.Wait(30000).exitCode, -1);
    held.Release();
    EXPECT_EQ(JobFiles(), sending);  // the whole job, left behind
  }
  // A run killed between making its working folder and locking it.
  const std::string bare = platform::MakeTempFolder("dwn");
  ASSERT_FALSE(bare.empty());
  Age(bare);
  Age(platform::TempFolder() + JobFiles().at(0));

  PrinterSimulator sim({"--model-name", kModel});
  ASSERT_TRUE(sim.Ready());
  const CliResult r =
      RunCli({"download", package, "--printer", Ftp(sim), "--model", kModel, "--yes", "--init-items", "1", "--json"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(WorkLeftovers(), std::vector<std::string>{});
}

}  // namespace
