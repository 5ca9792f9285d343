// quillon-cli with hostile packages: a FIFO, terminal controls in the
// texts, a damaged cabinet. None of these needs the print server.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/TerminalText.h"
#include "core/package/DownDocFile.h"
#include "core/package/Sha256.h"
#include "core/transfer/JobStream.h"
#include "tests/cli/CliProcess.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/TestEnv.h"

using quillon::LengthCommand;
using quillon::RestartCommand;
using quillon::kJobPreamble;
using quillon::kJobPreambleSize;
using quillon::kMaxDataFiles;

using namespace quillon_test;
using namespace package_test;
namespace fs = std::filesystem;

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
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
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

// A value of info's JSON line as text: strings without quotes, numbers as
// whole numbers; "" when it is missing.
std::string Field(const std::string& out, const char* key) {
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out));
  const QJsonValue v = doc.object().value(QLatin1String(key));
  if (v.isString()) return v.toString().toStdString();
  if (v.isDouble()) return std::to_string(static_cast<long long>(v.toDouble()));
  return {};
}

// The data list through the program: what `info` reports and `job` writes
// is every file the header names, or the package is refused with its cause.
class CliDataList : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = MakeTestDir("list"); }

  // info --json and job -o on pkg; the job file's bytes ("" when none).
  std::string Job(const std::string& pkg, CliResult& info, CliResult& job) {
    info = RunCli({"info", pkg, "--json"});
    const std::string out = dir_ + "/job.bin";
    std::remove(out.c_str());
    job = RunCli({"job", pkg, "--printer", "ftp://127.0.0.1/vesta0", "--model", "HALVORN CORVIA KV3", "-o", out});
    return ReadFileBytes(out);
  }
  static std::string Wrapped(const std::string& data) {
    return std::string(kJobPreamble, kJobPreambleSize) +
           LengthCommand(static_cast<std::uint32_t>(data.size())) + data + RestartCommand(1);
  }
  static std::string Sha(const std::string& data) {
    return quillon::Sha256Hex(reinterpret_cast<const unsigned char*>(data.data()), data.size());
  }
  void ExpectSent(const std::string& pkg, const std::string& data) {
    CliResult info, job;
    const std::string bytes = Job(pkg, info, job);
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_EQ(Field(info.out, "status"), "0") << info.out;
    EXPECT_EQ(Field(info.out, "data_size"), std::to_string(data.size())) << info.out;
    EXPECT_EQ(Field(info.out, "sha256"), Sha(data)) << info.out;
    EXPECT_EQ(job.exitCode, 0) << job.err;
    EXPECT_TRUE(bytes == Wrapped(data)) << bytes.size() << " bytes, expected " << Wrapped(data).size();
  }
  std::string dir_;
};

TEST_F(CliDataList, FortyFilesAndAListLongerThan260BytesAreSentWhole) {
  // 40 files with names of 24 bytes: the list is 999 bytes long, and its
  // first 260 bytes end at a name that exists too (a decoy).
  std::string list, data;
  for (int i = 0; i < 40; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "FIRMWARE_BLOCK_%02d_X.BIN", i);
    const std::string bytes = Pattern(500 + static_cast<size_t>(i), 70 + static_cast<unsigned>(i));
    Put(dir_, name, bytes);
    list += (i ? "," : "") + std::string(name);
    data += bytes;
  }
  ASSERT_GT(list.size(), 260u);
  const std::string cut = list.substr(0, 260);
  Put(dir_, cut.substr(cut.rfind(',') + 1), "another file's data");
  ExpectSent(Put(dir_, "FORTY.RXF", Header({"FileFormat=RXF", "DownLoadFile=" + list})), data);
  // The same package in a folder whose path alone is longer than 260 bytes.
  std::string deep = dir_;
  while (deep.size() < 700) deep += "/" + std::string(50, 'q');
  fs::create_directories(deep);
  for (const auto& entry : fs::directory_iterator(dir_)) {
    if (entry.is_regular_file()) fs::copy_file(entry.path(), deep + "/" + entry.path().filename().string());
  }
  ExpectSent(deep + "/FORTY.RXF", data);
}

TEST_F(CliDataList, AHundredThousandNamesAreRefusedWithTheirCauseAndNothingIsWritten) {
  std::string list;
  for (int i = 0; i < 100000; ++i) {
    const std::string name = "D" + std::to_string(i);
    if (i % 1000 == 0) Put(dir_, name, "x");
    list += (i ? "," : "") + name;
  }
  const std::string pkg = Put(dir_, "MANY.RXF", Header({"FileFormat=RXF", "DownLoadFile=" + list}));
  CliResult info, job;
  const auto start = std::chrono::steady_clock::now();
  const std::string bytes = Job(pkg, info, job);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
  EXPECT_EQ(info.exitCode, 4) << info.err;
  EXPECT_EQ(Field(info.out, "status"), "19") << info.out;
  EXPECT_EQ(Field(info.out, "detail"),
            "the header names 100000 data files, more than " + std::to_string(kMaxDataFiles))
      << info.out;
  EXPECT_EQ(Field(info.out, "data_size"), "0") << info.out;
  EXPECT_EQ(job.exitCode, 4) << job.err;
  EXPECT_TRUE(bytes.empty()) << "a job was written";
}

TEST_F(CliDataList, ADownloadRefusedForItsDataToldWhichFileAndWhy) {
  // The refusal's cause reaches the JSON line and standard error, not only
  // the generic "cannot be opened" text; no printer is asked.
  Put(dir_, "F0", "x");
  const std::string pkg =
      Put(dir_, "GONE.RXF", Header({"FileFormat=RXF", "DownLoadFile=F0,MISSING"}));
  const CliResult r =
      RunCli({"download", pkg, "--printer", "ftp://127.0.0.1/vesta0", "--yes", "--json"});
  EXPECT_EQ(r.exitCode, 4) << r.err;
  EXPECT_EQ(Field(r.out, "result"), "19") << r.out;
  EXPECT_EQ(Field(r.out, "outcome"), "not_started") << r.out;
  EXPECT_EQ(Field(r.out, "detail"), "data file \"MISSING\" is missing or not a regular file")
      << r.out;
  EXPECT_NE(r.err.find("MISSING"), std::string::npos) << r.err;
}

}  // namespace
