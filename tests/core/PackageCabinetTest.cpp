// The cabinet walk: member names that would leave the working folder, member
// folders, and cabinets that are damaged in their header or their data.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/package/DownDocFile.h"
#include "core/package/PackageUnpack.h"
#include "tests/support/TestEnv.h"
#include "tests/support/PackageFixtures.h"

using quillon::kDocBadFormat;
using quillon::kMaxPackageModelRows;

using namespace package_test;
namespace fs = std::filesystem;

namespace {

class PackageCabinet : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = quillon_test::MakeTestDir("cab");
    icons_ = quillon_test::MakeTestDir("icons");
  }
  void TearDown() override { EXPECT_TRUE(WorkLeftovers().empty()) << "working path left behind"; }
  std::string dir_, icons_;
};

const std::string kHeader = Header({"FileFormat=RXF", "DownLoadFile=FW.BIN"});

TEST_F(PackageCabinet, NamesLeavingTheWorkingFolderAreNeverWritten) {
  // The walk's destination sits two levels below the test root, so "..",
  // "..\.." and absolute names would all land somewhere we can see.
  const std::string root = quillon_test::MakeTestDir("jail");
  const std::string dest = root + "/a/dest";
  fs::create_directories(dest);
  const std::string absolute = root + "/ABS.BIN";
  const std::string cab = Put(dir_, "EVIL.RXV", StoredCabinet({
      {"HEADER.RXF", kHeader},
      {"..\\EVIL1.BIN", "x"},
      {"../EVIL2.BIN", "x"},
      {"sub\\..\\..\\EVIL3.BIN", "x"},
      {"..\\..\\EVIL4.BIN", "x"},
      {absolute, "x"},
      {"\\ROOTED.BIN", "x"},
      {"C:\\DRIVE.BIN", "x"},
      {"FW.BIN", "good"},
  }));
  EXPECT_EQ(IterateCabinet(cab.c_str(), dest.c_str()), 0);
  EXPECT_EQ(FilesBelow(root), (std::vector<std::string>{"a/dest/FW.BIN", "a/dest/HEADER.RXF"}));

  // Opened as a package, only the good members count.
  TDownDocFile doc(cab, icons_);
  EXPECT_EQ(doc.HeaderValid, 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(doc.DataBuffer), doc.DataSize), "good");
  EXPECT_FALSE(fs::exists(quillon_test::TestRoot() + "/EVIL1.BIN"));
  EXPECT_FALSE(fs::exists(quillon_test::TestRoot() + "/EVIL2.BIN"));
  EXPECT_FALSE(fs::exists(absolute));
}

TEST_F(PackageCabinet, MemberNameChecks) {
  for (const char* ok : {"A.BIN", "sub/A.BIN", "./A.BIN", "a..b", "..x/y", "x../y"}) {
    EXPECT_TRUE(quillon::IsSafeMemberName(ok)) << ok;
  }
  for (const char* bad : {"", "..", "../a", "a/..", "a/../b", "/etc/x", "C:x", "sub/"}) {
    EXPECT_FALSE(quillon::IsSafeMemberName(bad)) << bad;
  }
}

TEST_F(PackageCabinet, MemberFoldersAreMadeOneLevelDeep) {
  const std::string dest = quillon_test::MakeTestDir("dest");
  const std::string cab = Put(dir_, "F.RXV", StoredCabinet({
      {"one\\A.BIN", "a"},           // made
      {"two\\three\\B.BIN", "b"},    // parent missing: skipped
      {"FILE", "f"},
      {"FILE\\C.BIN", "c"},          // a file is in the way: skipped
      {"one\\D.BIN", "d"},           // folder already there
  }));
  EXPECT_EQ(IterateCabinet(cab.c_str(), dest.c_str()), 0);
  EXPECT_EQ(FilesBelow(dest), (std::vector<std::string>{"FILE", "one/A.BIN", "one/D.BIN"}));
}

TEST_F(PackageCabinet, ShiftJisMemberNamesKeepTheirBytes) {
  // "ソ" is 0x83 0x5C in Shift-JIS: its second byte is no folder separator.
  const std::string name = "\x83\x5C.BIN";
  const std::string dest = quillon_test::MakeTestDir("dest");
  const std::string cab = Put(dir_, "J.RXV", StoredCabinet({
      {"HEADER.RXF", Header({"FileFormat=RXF", "DownLoadFile=" + name})}, {name, "sjis"}}));
  EXPECT_EQ(IterateCabinet(cab.c_str(), dest.c_str()), 0);
  EXPECT_EQ(quillon_test::ReadFileBytes(dest + "/" + name), "sjis");
  TDownDocFile doc(cab, icons_);
  EXPECT_EQ(doc.DownLoadFile, name);
  EXPECT_EQ(doc.DataSize, 4u);
}

TEST_F(PackageCabinet, UnreadableCabinetsAreRefusedWithTheirCause) {
  const std::string good = StoredCabinet({{"HEADER.RXF", kHeader}, {"FW.BIN", "good"}});
  std::string badSignature = good;
  badSignature[0] = 'X';
  std::string dataPastEnd = good;
  dataPastEnd[38] = '\x7F';  // the folder's data start far beyond the end
  std::string hugeFileCount = good;
  hugeFileCount[28] = '\xFF';
  hugeFileCount[29] = '\xFF';
  for (const auto& [label, bytes] : std::vector<std::pair<std::string, std::string>>{
           {"empty", ""},
           {"signature", badSignature},
           {"data past end", dataPastEnd},
           {"file count", hugeFileCount},
           {"cut in header", good.substr(0, 20)},
           {"cut in data", good.substr(0, good.size() - 2)},
           {"garbage", Pattern(4096, 9)}}) {
    SCOPED_TRACE(label);
    const std::string path = Put(dir_, "BAD.RXV", bytes);
    TDownDocFile doc(path, icons_);
    // Once taken for "no header", such a cabinet became an empty job that
    // still reset the printer.
    EXPECT_EQ(doc.Status, kDocBadFormat);
    EXPECT_FALSE(doc.StatusDetail.empty());
    EXPECT_EQ(doc.HeaderValid, 0);
    EXPECT_EQ(doc.DataSize, 0u);
    EXPECT_EQ(doc.DataBuffer, nullptr);
    EXPECT_TRUE(FilesBelow(icons_).empty());
    const std::string dest = quillon_test::MakeTestDir("dest");
    EXPECT_NE(IterateCabinet(path.c_str(), dest.c_str()), 0);
  }
}

TEST_F(PackageCabinet, DamagedDataBlockLoadsNothing) {
  const std::string src = quillon_test::MakeTestDir("src");
  Put(src, "HEADER.RXF", kHeader);
  Put(src, "FW.BIN", Pattern(100000, 10));
  Put(src, "LOGO.ico", "icon");
  for (bool mszip : {false, true}) {
    const std::string cab = Gcab(src, mszip ? "Z.RXV" : "S.RXV", {"HEADER.RXF", "FW.BIN", "LOGO.ico"}, mszip);
    ASSERT_FALSE(cab.empty());
    const std::string whole = quillon_test::ReadFileBytes(cab);
    for (size_t at : {whole.size() / 2, whole.size() - 40}) {
      SCOPED_TRACE(std::to_string(at) + (mszip ? " mszip" : " stored"));
      std::string damaged = whole;
      for (size_t i = at; i < at + 3; ++i) damaged[i] = static_cast<char>(damaged[i] ^ (0x11 * (i - at + 1)));
      const std::string path = Put(dir_, "DAMAGED.RXV", damaged);
      TDownDocFile doc(path, icons_);
      // Partial firmware is worse than none: a damaged cabinet gives no data.
      EXPECT_EQ(doc.Status, kDocBadFormat);
      EXPECT_NE(doc.StatusDetail.find("cabinet"), std::string::npos) << doc.StatusDetail;
      EXPECT_EQ(doc.DataSize, 0u);
      EXPECT_EQ(doc.HeaderValid, 0);
      EXPECT_TRUE(FilesBelow(icons_).empty());
    }
  }
}

TEST_F(PackageCabinet, ModelRowsAreCappedInFileOrder) {
  std::string rows = "[Printers]\r\n";
  for (int i = 0; i < 600; ++i) rows += "MODEL-" + std::to_string(i) + "=" + std::to_string(i % 20) + ",1\r\n";
  const std::string cab = Put(dir_, "MANY.RXV", StoredCabinet({{"HEADER.RXF", kHeader + rows}, {"FW.BIN", "x"}}));
  TDownDocFile doc(cab, icons_);
  ASSERT_EQ(doc.PrinterTable.size(), kMaxPackageModelRows);
  EXPECT_EQ(doc.PrinterTable[0].first, "MODEL-0");
  EXPECT_EQ(doc.PrinterTable.back(), (std::pair<std::string, std::string>("MODEL-255", "15,1")));
}

TEST_F(PackageCabinet, CabinetWithoutHeaderIsRefused) {
  const std::string cab = Put(dir_, "NOHDR.RXV", StoredCabinet({{"FW.BIN", "x"}}));
  TDownDocFile doc(cab, icons_);
  EXPECT_EQ(doc.Status, kDocBadFormat);
  EXPECT_NE(doc.StatusDetail.find("HEADER.RXF"), std::string::npos);
  EXPECT_EQ(doc.DataSize, 0u);
}

TEST_F(PackageCabinet, BadArgumentsAndMissingCabinet) {
  const std::string dest = quillon_test::MakeTestDir("dest");
  EXPECT_NE(IterateCabinet(nullptr, dest.c_str()), 0);
  EXPECT_NE(IterateCabinet((dir_ + "/x.cab").c_str(), nullptr), 0);
  EXPECT_NE(IterateCabinet((dir_ + "/none.cab").c_str(), dest.c_str()), 0);
  // Missing cabinet package: status 17, like any missing package.
  EXPECT_EQ(TDownDocFile(dir_ + "/none.rxv", icons_).Status, 17);
}

}  // namespace
