// A package opened with its data read later (the CLI asks the printers
// meanwhile): every refusal that needs no data is told at the open, the
// bytes read afterwards are those a plain open reads, and a file that
// changed in between refuses the package instead of sending other data.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/package/DownDocFile.h"
#include "core/package/PackageHeader.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/TestEnv.h"

using quillon::kDocBadFormat;
using Read = TDownDocFile::DataRead;

using namespace package_test;
namespace fs = std::filesystem;

namespace {

std::string DataOf(const TDownDocFile& doc) {
  return doc.DataBuffer ? std::string(reinterpret_cast<const char*>(doc.DataBuffer), doc.DataSize)
                        : std::string();
}

class PackageDataLater : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = quillon_test::MakeTestDir("later");
    icons_ = quillon_test::MakeTestDir("icons");
  }
  void TearDown() override { EXPECT_TRUE(WorkLeftovers().empty()) << "working path left behind"; }

  std::string dir_, icons_;
};

TEST_F(PackageDataLater, EverythingThatRefusesAPackageIsToldAtTheOpen) {
  // A data file that is missing, one outside the package, and a package
  // without data: refused before anybody could be asked, nothing pending.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"DownLoadFile=F0,MISSING", "MISSING"},
      {"DownLoadFile=../outside", "outside"},
      {"DownLoadFile=EMPTY", "no data"},
  };
  Put(dir_, "F0", Pattern(64, 1));
  Put(dir_, "EMPTY", "");
  for (const auto& [line, cause] : cases) {
    TDownDocFile doc(Put(dir_, "P.RXF", Header({"FileFormat=RXF", line})), icons_, Read::Later);
    EXPECT_EQ(doc.Status, kDocBadFormat) << line;
    EXPECT_NE(doc.StatusDetail.find(cause), std::string::npos) << line << ": " << doc.StatusDetail;
    EXPECT_FALSE(doc.DataPending()) << line;
    doc.ReadPendingData();
    EXPECT_EQ(doc.Status, kDocBadFormat) << line;
    EXPECT_EQ(doc.DataBuffer, nullptr) << line;
  }
}

TEST_F(PackageDataLater, TheBytesReadLaterAreThoseAPlainOpenReads) {
  // A plain package whose data follow its header, one naming two files, and
  // a cabinet whose member lies in the working folder until it is read.
  const std::string data = Pattern(3 << 20, 7);
  const std::string plain = Put(dir_, "PLAIN.RXF", Header({"FileFormat=RXF"}) + "\x1A" + data);
  Put(dir_, "A", Pattern(1000, 2));
  Put(dir_, "B", Pattern(2000, 3));
  const std::string listed = Put(dir_, "LIST.RXF", Header({"FileFormat=RXF", "DownLoadFile=A,B"}));
  const std::string cab =
      Put(dir_, "P.RXV", StoredCabinet({{"HEADER.RXF", Header({"FileFormat=RXF", "DownLoadFile=M"})},
                                        {"M", Pattern(5000, 4)}}));
  for (const std::string& path : {plain, listed, cab}) {
    TDownDocFile now(path, icons_);
    ASSERT_EQ(now.Status, 0) << path << ": " << now.StatusDetail;
    TDownDocFile later(path, icons_, Read::Later);
    ASSERT_EQ(later.Status, 0) << path << ": " << later.StatusDetail;
    EXPECT_TRUE(later.DataPending()) << path;
    EXPECT_EQ(later.DataBuffer, nullptr) << path;
    EXPECT_EQ(later.DownLoadVersion, now.DownLoadVersion) << path;
    later.ReadPendingData();
    ASSERT_EQ(later.Status, 0) << path << ": " << later.StatusDetail;
    EXPECT_FALSE(later.DataPending()) << path;
    EXPECT_TRUE(DataOf(later) == DataOf(now)) << path << ": " << later.DataSize << " bytes, expected "
                                              << now.DataSize;
    EXPECT_EQ(later.DataSha256(), now.DataSha256()) << path;
    // Read once: a second call changes nothing.
    const unsigned char* block = later.DataBuffer;
    later.ReadPendingData();
    EXPECT_EQ(later.DataBuffer, block) << path;
  }
  // A package dropped before its data were read leaves no working folder.
  { TDownDocFile dropped(cab, icons_, Read::Later); }
}

TEST_F(PackageDataLater, ADataFileChangedBeforeItIsReadRefusesThePackage) {
  const std::string a = Put(dir_, "A", Pattern(4096, 5));
  const std::string path = Put(dir_, "P.RXF", Header({"FileFormat=RXF", "DownLoadFile=A"}));
  {
    // Replaced by another file of the same size.
    TDownDocFile doc(path, icons_, Read::Later);
    ASSERT_EQ(doc.Status, 0) << doc.StatusDetail;
    const std::string other = Put(dir_, "A.new", Pattern(4096, 6));
    fs::rename(other, a);
    doc.ReadPendingData();
    EXPECT_EQ(doc.Status, kDocBadFormat);
    EXPECT_NE(doc.StatusDetail.find("changed"), std::string::npos) << doc.StatusDetail;
    EXPECT_EQ(doc.DataBuffer, nullptr);
    EXPECT_EQ(doc.DataSize, 0u);
  }
  {
    // Cut short in place.
    TDownDocFile doc(path, icons_, Read::Later);
    ASSERT_EQ(doc.Status, 0) << doc.StatusDetail;
    fs::resize_file(a, 100);
    doc.ReadPendingData();
    EXPECT_EQ(doc.Status, kDocBadFormat);
    EXPECT_EQ(doc.DataBuffer, nullptr);
  }
}

}  // namespace
