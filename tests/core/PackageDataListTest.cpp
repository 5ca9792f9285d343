// The data list of a header: every file DownLoadFile names is in the data
// block (and so in the job stream), in its order, or the package is refused
// with its cause. No value naming data is ever cut.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/package/DownDocFile.h"
#include "core/package/PackageHeader.h"
#include "core/transfer/JobStream.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/TestEnv.h"

using quillon::BuildJobFile;
using quillon::LengthCommand;
using quillon::RestartCommand;
using quillon::kDocBadFormat;
using quillon::kJobPreamble;
using quillon::kJobPreambleSize;
using quillon::kMaxDataFiles;

using namespace package_test;
namespace fs = std::filesystem;

namespace {

std::string DataOf(const TDownDocFile& doc) {
  return doc.DataBuffer ? std::string(reinterpret_cast<const char*>(doc.DataBuffer), doc.DataSize)
                        : std::string();
}

// The job stream the output thread would send for doc, wrapped.
std::string JobOf(const TDownDocFile& doc, const std::string& dir) {
  const std::string path = Put(dir, "job.bin", "");
  const std::uint32_t length = BuildJobFile(path.c_str(), &doc, true, 1);
  const std::string bytes = quillon_test::ReadFileBytes(path);
  std::remove(path.c_str());
  EXPECT_EQ(length, bytes.size());
  return bytes;
}

std::string WrappedJob(const std::string& data) {
  return std::string(kJobPreamble, kJobPreambleSize) +
         LengthCommand(static_cast<std::uint32_t>(data.size())) + data + RestartCommand(1);
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

class PackageDataList : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = quillon_test::MakeTestDir("list");
    icons_ = quillon_test::MakeTestDir("icons");
  }
  void TearDown() override { EXPECT_TRUE(WorkLeftovers().empty()) << "working path left behind"; }

  // n data files named <prefix>0.., each a distinct pattern; the list value
  // and the data the block must hold.
  std::string MakeFiles(int n, const std::string& prefix, std::string& data, const std::string& dir) {
    std::string list;
    for (int i = 0; i < n; ++i) {
      const std::string name = prefix + std::to_string(i);
      const std::string bytes = Pattern(100 + static_cast<size_t>(i), static_cast<unsigned>(i) + 1);
      Put(dir, name, bytes);
      list += (i ? "," : "") + name;
      data += bytes;
    }
    return list;
  }

  std::string dir_, icons_;
};

TEST_F(PackageDataList, FortyDataFilesAreAllSentInTheirOrder) {
  std::string data;
  const std::string list = MakeFiles(40, "F", data, dir_);
  TDownDocFile doc(Put(dir_, "P.RXF", Header({"FileFormat=RXF", "DownLoadFile=" + list})), icons_);
  ASSERT_EQ(doc.Status, 0) << doc.StatusDetail;
  EXPECT_EQ(doc.DataFiles.size(), 40u);
  EXPECT_EQ(doc.DataFiles.back(), "F39");
  EXPECT_TRUE(DataOf(doc) == data) << doc.DataSize << " bytes, expected " << data.size();
  EXPECT_TRUE(JobOf(doc, dir_) == WrappedJob(data));

  // The same from a cabinet, where the files are its members.
  const std::string src = quillon_test::MakeTestDir("cabsrc");
  std::string cabData;
  const std::string cabList = MakeFiles(40, "M", cabData, src);
  std::vector<std::pair<std::string, std::string>> members = {
      {"HEADER.RXF", Header({"FileFormat=RXF", "DownLoadFile=" + cabList})}};
  for (int i = 0; i < 40; ++i) {
    const std::string name = "M" + std::to_string(i);
    members.emplace_back(name, quillon_test::ReadFileBytes(src + "/" + name));
  }
  TDownDocFile cab(Put(dir_, "P.RXV", StoredCabinet(members)), icons_);
  ASSERT_EQ(cab.Status, 0) << cab.StatusDetail;
  EXPECT_TRUE(DataOf(cab) == cabData) << cab.DataSize << " bytes, expected " << cabData.size();
}

TEST_F(PackageDataList, ALongValueIsLoadedWholeNotCutIntoAnotherName) {
  // 12 names of 29 bytes: the value is 359 bytes, and its first 260 bytes
  // end inside the ninth name, at a name that also exists (a decoy).
  std::string list, data;
  for (int i = 0; i < 12; ++i) {
    const std::string name = "FIRMWARE_SECTION_" + std::string(1, static_cast<char>('A' + i)) + "_PART.BIN";
    const std::string bytes = Pattern(1000, 40 + static_cast<unsigned>(i));
    Put(dir_, name, bytes);
    list += (i ? "," : "") + name;
    data += bytes;
  }
  ASSERT_GT(list.size(), 260u);
  const std::string cut = list.substr(0, 260);
  const std::string decoy = cut.substr(cut.rfind(',') + 1);
  ASSERT_FALSE(decoy.empty());
  Put(dir_, decoy, "another file's data");
  TDownDocFile doc(Put(dir_, "P.RXF", Header({"FileFormat=RXF", "DownLoadFile=" + list})), icons_);
  ASSERT_EQ(doc.Status, 0) << doc.StatusDetail;
  EXPECT_EQ(doc.DownLoadFile, list);
  EXPECT_EQ(doc.DataFiles.size(), 12u);
  EXPECT_TRUE(DataOf(doc) == data) << doc.DataSize << " bytes, expected " << data.size();
  EXPECT_TRUE(JobOf(doc, dir_) == WrappedJob(data));

  // One name longer than 260 bytes on its own (a folder and a file).
  const std::string folder = std::string(150, 'S'), file = std::string(150, 'F') + ".BIN";
  Put(dir_ + "/" + folder, file, "whole name");
  const std::string cutName = (folder + "/" + file).substr(0, 260);
  Put(dir_ + "/" + folder, cutName.substr(folder.size() + 1), "cut name");
  TDownDocFile one(Put(dir_, "Q.RXF", Header({"FileFormat=RXF", "DownLoadFile=" + folder + "\\" + file})),
                   icons_);
  ASSERT_EQ(one.Status, 0) << one.StatusDetail;
  EXPECT_EQ(DataOf(one), "whole name");
}

TEST_F(PackageDataList, AHundredThousandNamesOfWhichAHundredExistAreRefusedQuickly) {
  std::string list;
  for (int i = 0; i < 100000; ++i) {
    const std::string name = "D" + std::to_string(i);
    if (i % 1000 == 0) Put(dir_, name, "x");
    list += (i ? "," : "") + name;
  }
  const std::string path = Put(dir_, "MANY.RXF", Header({"FileFormat=RXF", "DownLoadFile=" + list}));
  const auto start = std::chrono::steady_clock::now();
  TDownDocFile doc(path, icons_);
  EXPECT_LT(Seconds(start), 5.0);  // generous for sanitizer builds; milliseconds here
  EXPECT_EQ(doc.Status, kDocBadFormat);
  EXPECT_NE(doc.StatusDetail.find("names 100000 data files, more than " + std::to_string(kMaxDataFiles)),
            std::string::npos)
      << doc.StatusDetail;
  EXPECT_EQ(doc.DataSize, 0u);
  EXPECT_EQ(doc.DataBuffer, nullptr);
}

TEST_F(PackageDataList, UpToTheLimitEveryFileIsLoadedOneMoreIsRefused) {
  // As many files as the limit allows: loaded without running out of
  // descriptors (each is open only while it is measured or read).
  std::string data;
  std::string list = MakeFiles(static_cast<int>(kMaxDataFiles), "n", data, dir_);
  {
    TDownDocFile doc(Put(dir_, "MAX.RXF", Header({"FileFormat=RXF", "DownLoadFile=" + list})), icons_);
    ASSERT_EQ(doc.Status, 0) << doc.StatusDetail;
    EXPECT_TRUE(DataOf(doc) == data) << doc.DataSize << " bytes, expected " << data.size();
  }
  {
    // Empty pieces are no names: still at the limit.
    TDownDocFile doc(Put(dir_, "GAPS.RXF", Header({"FileFormat=RXF", "DownLoadFile=," + list + ",,"})), icons_);
    ASSERT_EQ(doc.Status, 0) << doc.StatusDetail;
    EXPECT_EQ(doc.DataSize, data.size());
  }
  {
    TDownDocFile doc(Put(dir_, "OVER.RXF", Header({"FileFormat=RXF", "DownLoadFile=" + list + ",n0"})), icons_);
    EXPECT_EQ(doc.Status, kDocBadFormat);
    EXPECT_NE(doc.StatusDetail.find("more than " + std::to_string(kMaxDataFiles)), std::string::npos)
        << doc.StatusDetail;
    EXPECT_EQ(doc.DataBuffer, nullptr);
  }
  {
    // Within the limit, the first name that does not exist is the cause.
    fs::remove(dir_ + "/n700");
    TDownDocFile doc(Put(dir_, "GONE.RXF", Header({"FileFormat=RXF", "DownLoadFile=" + list})), icons_);
    EXPECT_EQ(doc.Status, kDocBadFormat);
    EXPECT_NE(doc.StatusDetail.find("\"n700\" is missing"), std::string::npos) << doc.StatusDetail;
  }
}

TEST_F(PackageDataList, HeaderTextPastTheReadLimitIsRefusedNotReadInPart) {
  // The read limit falls inside the data list: read in part, the list
  // would name only its first file.
  Put(dir_, "A.BIN", "aaaa");
  Put(dir_, "B.BIN", "bbbb");
  std::string text = Header({"FileFormat=RXF"});
  const std::string line = "DownLoadFile=A.BIN,B.BIN\r\n";
  text += ";" + std::string(quillon::kMaxHeaderText - text.size() - 3 - 18, '-') + "\r\n";
  text += line;
  ASSERT_EQ(text.find("A.BIN") + 5, quillon::kMaxHeaderText);
  text += std::string(100, '\n');
  TDownDocFile doc(Put(dir_, "LONG.RXF", text), icons_);
  EXPECT_EQ(doc.Status, kDocBadFormat);
  EXPECT_NE(doc.StatusDetail.find("header text is longer than"), std::string::npos) << doc.StatusDetail;
  EXPECT_EQ(doc.DataSize, 0u);

  // A data tail past the limit is still data, not header text.
  TDownDocFile tail(Put(dir_, "TAIL.RXF", Header({"FileFormat=RXF"}) + "\x1A" +
                                              std::string(quillon::kMaxHeaderText + 10, 'd')),
                    icons_);
  EXPECT_EQ(tail.Status, 0) << tail.StatusDetail;
  EXPECT_EQ(tail.DataSize, quillon::kMaxHeaderText + 10);
}

// Swaps a data file for another one while the block is being allocated,
// between the files being measured and read.
std::string g_swap;
void* SwappingAlloc(std::size_t n) {
  if (!g_swap.empty()) {
    Put(fs::path(g_swap).parent_path().string(), "NEW.BIN", "replaced with other bytes");
    fs::rename(fs::path(g_swap).parent_path() / "NEW.BIN", g_swap);
  }
  return std::malloc(n);
}

TEST_F(PackageDataList, AFileReplacedAfterItWasMeasuredRefusesThePackage) {
  Put(dir_, "A.BIN", "aaaa");
  Put(dir_, "B.BIN", "bbbb");
  const std::string pkg = Put(dir_, "P.RXF", Header({"FileFormat=RXF", "DownLoadFile=A.BIN,B.BIN"}));
  g_swap = dir_ + "/B.BIN";
  TDownDocFile::SetDataAllocator(SwappingAlloc);
  TDownDocFile doc(pkg, icons_);
  TDownDocFile::SetDataAllocator(nullptr);
  g_swap.clear();
  EXPECT_EQ(doc.Status, kDocBadFormat);
  EXPECT_NE(doc.StatusDetail.find("\"B.BIN\" changed"), std::string::npos) << doc.StatusDetail;
  EXPECT_EQ(doc.DataBuffer, nullptr);
}

TEST(PackageDataListSplit, EveryNameIsKeptInOrderEmptyPiecesDropped) {
  EXPECT_EQ(quillon::SplitDataFileNames(",A, B,,C,"), (std::vector<std::string>{"A", " B", "C"}));
  EXPECT_TRUE(quillon::SplitDataFileNames(",,,").empty());
  std::string many;
  for (int i = 0; i < 5000; ++i) many += "x,";
  EXPECT_EQ(quillon::SplitDataFileNames(many).size(), 5000u);
}

// A package opened with its data read later (the CLI asks the printers
// meanwhile): every refusal that needs no data is told at the open, the
// bytes read afterwards are those a plain open reads, and a file that
// changed in between refuses the package instead of sending other data.
class PackageDataLater : public PackageDataList {};
using Read = TDownDocFile::DataRead;

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
