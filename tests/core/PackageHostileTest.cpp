// Hostile packages: each costs time, disk and memory in proportion to its
// size, ends with its status and cause, and leaves nothing behind. Each is
// made here at test time and named after the defect it once had.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "core/app/ModelTable.h"
#include "core/app/QuillonApp.h"
#include "core/package/DownDocFile.h"
#include "platform/ProfileFile.h"
#include "platform/UnpackLimits.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/TestEnv.h"

using quillon::kDocBadFormat;
using quillon::kDocCancelled;
using quillon::kDocCannotOpen;
using quillon::kMaxPackageModelRows;
using quillon::kMaxWorkFile;

using namespace package_test;
namespace fs = std::filesystem;

namespace {

// Generous bounds: the old code took minutes to hours on these files, the
// new one milliseconds; sanitizer builds must still pass.
constexpr double kSeconds = 5.0;

double SecondsToOpen(const std::string& path, const std::string& icons, std::uint16_t& status,
                     std::string& detail) {
  const auto start = std::chrono::steady_clock::now();
  TDownDocFile doc(path, icons);
  status = doc.Status;
  detail = doc.StatusDetail;
  EXPECT_EQ(doc.DataSize, 0u);
  EXPECT_EQ(doc.DataBuffer, nullptr);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class PackageHostile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = quillon_test::MakeTestDir("hostile");
    icons_ = quillon_test::MakeTestDir("icons");
  }
  void TearDown() override {
    platform::ClearUnpackCancel();
    EXPECT_TRUE(WorkLeftovers().empty()) << "working path left behind";
    EXPECT_TRUE(FilesBelow(icons_).empty());
  }
  // Opens path and expects it refused with status and a detail holding what.
  void ExpectRefused(const std::string& path, std::uint16_t status, const std::string& what) {
    std::uint16_t got = 0;
    std::string detail;
    EXPECT_LT(SecondsToOpen(path, icons_, got, detail), kSeconds);
    EXPECT_EQ(got, status) << detail;
    EXPECT_NE(detail.find(what), std::string::npos) << detail;
  }
  std::string dir_, icons_;
};

TEST_F(PackageHostile, QuadraticChecksumCabinet) {
  const std::string cab = Put(dir_, "SHARED.RXV", SharedBlocksCabinet());
  ASSERT_LT(fs::file_size(cab), 1100000u);
  ExpectRefused(cab, kDocBadFormat, "share data blocks");
}

TEST_F(PackageHostile, DecompressionBomb) {
  // The blocks announce 98 MB of zeros, far above 64 times 150 KiB.
  ExpectRefused(Put(dir_, "BOMB.RXV", ZeroBombCabinet(3000, 10)), kDocBadFormat, "more than");
  // Blocks within the limit, members announcing ten times as much.
  ExpectRefused(Put(dir_, "BOMB2.RXV", ZeroBombCabinet(300, 10)), kDocBadFormat, "announce");
  EXPECT_EQ(platform::UnpackByteLimit(0), platform::kUnpackFloor);
  EXPECT_EQ(platform::UnpackByteLimit(1 << 20), 64u << 20);
  EXPECT_EQ(platform::UnpackByteLimit(std::uint64_t{1} << 40), platform::kUnpackCeiling);
}

TEST_F(PackageHostile, CabinetMakingTheDecoderRereadItsFolder) {
  ExpectRefused(Put(dir_, "REREAD.RXV", RereadCabinet(100, 300)), kDocBadFormat, "over and over");
}

TEST_F(PackageHostile, CabinetWithTooManyMembers) {
  std::vector<std::pair<std::string, std::string>> members;
  for (unsigned i = 0; i <= platform::kMaxCabinetMembers; ++i) members.push_back({"M" + std::to_string(i), "x"});
  ExpectRefused(Put(dir_, "MANY.RXV", StoredCabinet(members)), kDocBadFormat, "members");
}

TEST_F(PackageHostile, LzHeaderAnnouncingMoreThanAJob) {
  ExpectRefused(Put(dir_, "HUGE.RX_", SzddAnnouncing(200000000)), kDocBadFormat, "more than");
}

TEST_F(PackageHostile, PlainPackageLargerThanAJobIsNotCopied) {
  const std::string path = Put(dir_, "HUGE.RXF", "");
  fs::resize_file(path, kMaxWorkFile + 1);  // sparse: costs no disk
  ExpectRefused(path, kDocBadFormat, "more than");
}

TEST_F(PackageHostile, QuadraticPrintersParse) {
  std::string rows = "[Printers]\r\n";
  for (int i = 0; i < 20000; ++i) rows += "MODEL-" + std::to_string(i) + "=" + std::to_string(i % 90) + ",1\r\n";
  const std::string pkg = Put(dir_, "ROWS.RXF", Header({"FileFormat=RXF"}) + rows + "\x1A" "data");
  const std::string settings = dir_ + "/QUILLON.INI";
  const auto start = std::chrono::steady_clock::now();
  {
    TQUILLONApp app(settings);
    app.OpenPackage(pkg);
    ASSERT_EQ(app.GetPackage()->Status, 0);
    EXPECT_EQ(app.GetPackage()->PrinterTable.size(), kMaxPackageModelRows);
  }
  // A later run on any package does not pay for it either.
  TQUILLONApp again(settings);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), kSeconds);
  EXPECT_GE(again.Models->IndexOf("MODEL-255"), 0);
  EXPECT_LT(again.Models->IndexOf("MODEL-256"), 0);
}

TEST_F(PackageHostile, DataFileClimbingOut) {
  const std::string inner = dir_ + "/inner";
  Put(dir_, "OUT.BIN", "secret");
  Put(inner, "IN.BIN", "fine");
  ::symlink((dir_ + "/OUT.BIN").c_str(), (inner + "/LINK.BIN").c_str());
  ExpectRefused(Put(inner, "UP.RXF", Header({"FileFormat=RXF", "DownLoadFile=../OUT.BIN"})), kDocBadFormat, "outside");
  ExpectRefused(Put(inner, "UP2.RXF", Header({"FileFormat=RXF", "DownLoadFile=IN.BIN,sub\\..\\..\\OUT.BIN"})),
                kDocBadFormat, "outside");
  ExpectRefused(Put(inner, "ABS.RXF", Header({"FileFormat=RXF", "DownLoadFile=" + dir_ + "/OUT.BIN"})),
                kDocBadFormat, "outside");
  ExpectRefused(Put(inner, "LINK.RXF", Header({"FileFormat=RXF", "DownLoadFile=LINK.BIN"})), kDocBadFormat, "outside");
  // In a cabinet the working folder is the package's folder.
  const std::string cab = Put(inner, "UP.RXV", StoredCabinet({
      {"HEADER.RXF", Header({"FileFormat=RXF", "DownLoadFile=..\\..\\..\\" + dir_.substr(1) + "/OUT.BIN"})}}));
  ExpectRefused(cab, kDocBadFormat, "outside");
  // A name below the folder still works.
  TDownDocFile ok(Put(inner, "OK.RXF", Header({"FileFormat=RXF", "DownLoadFile=./IN.BIN"})), icons_);
  EXPECT_EQ(ok.Status, 0);
  EXPECT_EQ(ok.DataSize, 4u);
}

TEST_F(PackageHostile, FifoPackageAndFifoDataFile) {
  const std::string fifo = dir_ + "/PIPE.RXF";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ExpectRefused(fifo, kDocCannotOpen, "not a regular file");
  ASSERT_EQ(::mkfifo((dir_ + "/DATA.BIN").c_str(), 0600), 0);
  ExpectRefused(Put(dir_, "F.RXF", Header({"FileFormat=RXF", "DownLoadFile=DATA.BIN"})), kDocBadFormat,
                "not a regular file");
  ExpectRefused(dir_, kDocCannotOpen, "folder");
}

TEST_F(PackageHostile, EmptyOrPartialPackagesAreNeverSent) {
  ExpectRefused(Put(dir_, "EMPTY.RXF", ""), kDocBadFormat, "no data");
  ExpectRefused(Put(dir_, "NODATA.RXF", Header({"FileFormat=RXF"}) + "\x1A"), kDocBadFormat, "no data");
  Put(dir_, "ZERO.BIN", "");
  ExpectRefused(Put(dir_, "ZERO.RXF", Header({"FileFormat=RXF", "DownLoadFile=ZERO.BIN"})), kDocBadFormat, "no data");
  ExpectRefused(Put(dir_, "GONE.RXF", Header({"FileFormat=RXF", "DownLoadFile=ZERO.BIN,GONE.BIN"})), kDocBadFormat,
                "\"GONE.BIN\" is missing");
  ExpectRefused(Put(dir_, "E.RXV", StoredCabinet({{"HEADER.RXF", Header({"FileFormat=RXF", "DownLoadFile=FW.BIN"})},
                                                  {"FW.BIN", ""}})),
                kDocBadFormat, "no data");
}

TEST_F(PackageHostile, StopRequestEndsTheOpenAndRemovesTheWorkingFolder) {
  const std::string src = quillon_test::MakeTestDir("src");
  Put(src, "HEADER.RXF", Header({"FileFormat=RXF", "DownLoadFile=FW.BIN"}));
  Put(src, "FW.BIN", Pattern(300000, 3));
  const std::string cab = Gcab(src, "FW.RXV", {"HEADER.RXF", "FW.BIN"}, true);
  ASSERT_FALSE(cab.empty());
  const std::string plain = Put(dir_, "FW.RXF", Header({"FileFormat=RXF"}) + "\x1A" + Pattern(1000, 4));
  platform::RequestUnpackCancel();
  ExpectRefused(cab, kDocCancelled, "stopped");
  ExpectRefused(plain, kDocCancelled, "stopped");
  platform::ClearUnpackCancel();
  EXPECT_EQ(TDownDocFile(cab, icons_).Status, 0);
  EXPECT_EQ(TDownDocFile(plain, icons_).Status, 0);
}

}  // namespace
