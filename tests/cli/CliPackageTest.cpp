// quillon-cli with hostile packages: a FIFO, terminal controls in the
// texts, a damaged cabinet. None of these needs the print server.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <string>

#include "cli/TerminalText.h"
#include "tests/cli/CliProcess.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/TestEnv.h"

using namespace quillon_test;
using namespace package_test;

namespace {

TEST(CliTerminalText, ControlsAreEscapedLineBreaksKept) {
  EXPECT_EQ(cli::ForTerminal("a\rb\nc\td"), "a\nb\nc\td");
  EXPECT_EQ(cli::ForTerminal("\x1B]0;title\x07"), "\\x1B]0;title\\x07");
  EXPECT_EQ(cli::ForTerminal(std::string("x\0y", 3)), "x\\x00y");
  EXPECT_EQ(cli::ForTerminal("\x7F"), "\\x7F");
  EXPECT_EQ(cli::ForTerminal("\xC2\x9B" "2J"), "\\u009B2J");   // C1 escape introducer
  EXPECT_EQ(cli::ForTerminal("ﾃｽﾄ é ¢"), "ﾃｽﾄ é ¢");          // printable text unchanged
}

TEST(CliPackage, InfoOnAFifoReturnsAtOnce) {
  const std::string fifo = MakeTestDir("fifo") + "/some.rxf";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto start = std::chrono::steady_clock::now();
  CliProcess p({"info", fifo});
  const CliResult r = p.Wait(10000);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
  // Not a file a package can be read from: the caller's input.
  EXPECT_EQ(r.exitCode, 2) << r.err;
  EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
}

TEST(CliPackage, EscSequencesFromThePackageAreShownEscaped) {
  const std::string dir = MakeTestDir("esc");
  const std::string pkg = Put(dir, "ESC.RXF", Header({
      "FileFormat=RXF", "DownLoadDesc=\x1B]0;owned\x07title", "DownLoadVersion=\x1B[2J",
      "DoneMessage=\x1B[31mred\\nnext", "DownLoadPrinter=\x1B[H"}) +
      "[Printers]\r\n\x1B[0m=1\r\n\x1A" "data");
  for (const bool json : {false, true}) {
    SCOPED_TRACE(json ? "json" : "text");
    const CliResult r = json ? RunCli({"info", pkg, "--json"}) : RunCli({"info", pkg});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find('\x1B'), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x07'), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find('\x1B'), std::string::npos) << r.err;
    if (!json) {
      EXPECT_NE(r.out.find("\\x1B]0;owned\\x07title"), std::string::npos) << r.out;
      EXPECT_NE(r.out.find("\\x1B[31mred\nnext"), std::string::npos) << r.out;
    }
  }
}

TEST(CliPackage, DamagedCabinetExits4WithItsCause) {
  const std::string dir = MakeTestDir("bad");
  std::string cab = StoredCabinet({{"HEADER.RXF", Header({"FileFormat=RXF", "DownLoadFile=FW.BIN"})},
                                   {"FW.BIN", "firmware"}});
  cab.resize(cab.size() - 3);
  const std::string path = Put(dir, "BAD.RXV", cab);
  const CliResult r = RunCli({"info", path});
  EXPECT_EQ(r.exitCode, 4);
  EXPECT_NE(r.out.find("Form:            cabinet"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("cabinet"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("Data size:       0"), std::string::npos) << r.out;
}

TEST(CliPackage, NothingIsWrittenForADamagedOrEmptyPackage) {
  // The job command writes exactly what the printer would receive.
  const std::string dir = MakeTestDir("job");
  std::string cab = StoredCabinet({{"HEADER.RXF", Header({"FileFormat=RXF", "DownLoadFile=FW.BIN"})},
                                   {"FW.BIN", "firmware"}});
  cab[cab.size() - 20] ^= 0x55;  // a damaged byte in the header member's data
  for (const std::string& pkg : {Put(dir, "BAD.RXV", cab.substr(0, cab.size() - 4)),
                                 Put(dir, "EMPTY.RXF", Header({"FileFormat=RXF"}) + "\x1A")}) {
    SCOPED_TRACE(pkg);
    const std::string out = dir + "/job.bin";
    const CliResult r = RunCli({"job", pkg, "--printer", "ftp://127.0.0.1/vesta0", "--model", "KV3", "-o", out});
    EXPECT_EQ(r.exitCode, 4) << r.err;
    struct stat st;
    EXPECT_NE(::stat(out.c_str(), &st), 0) << "a job was written";
  }
}

}  // namespace
