// Opening packages of each form, made by the real tools, down to the bytes.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

#include <filesystem>
#include <string>

#include "core/package/DownDocFile.h"
#include "core/package/Sha256.h"
#include "tests/support/TestEnv.h"
#include "tests/support/PackageFixtures.h"

using quillon::kDocBadFormat;
using quillon::kDocCannotCopy;

using namespace package_test;
namespace fs = std::filesystem;

namespace {

std::string DataOf(const TDownDocFile& doc) {
  return doc.DataBuffer ? std::string(reinterpret_cast<const char*>(doc.DataBuffer), doc.DataSize)
                        : std::string();
}

class PackageForms : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = quillon_test::MakeTestDir("pkg");
    icons_ = quillon_test::MakeTestDir("icons");
  }
  void TearDown() override { EXPECT_TRUE(WorkLeftovers().empty()) << "working path left behind"; }
  std::string dir_, icons_;
};

const std::string kFullHeader = Header({
    "FileFormat=RXF",
    "DownLoadDesc=Firmware for RX",
    "DownLoadVersion=Ver 2.10",
    "EnableCommand=0",
    "Reboot=0",
    "DownLoadPrinter=\"RX-110\",\"HALVORN KV2\"",
    "BeginMessage=first\\nsecond",
    "DoneMessage=done",
}) + "[Printers]\r\nRX-999=7,1\r\nRX-998=\r\nRX-997=ABC\r\n";

TEST_F(PackageForms, PlainHeaderWithEmbeddedDataOpensToItsValuesAndData) {
  const std::string data = Pattern(5000, 1) + std::string("\x1A\x1A", 2);
  const std::string path = Put(dir_, "FW.RXF", kFullHeader + '\x1A' + data);
  TDownDocFile doc(path, icons_);
  EXPECT_EQ(doc.Status, 0);
  EXPECT_EQ(doc.HeaderValid, 1);
  EXPECT_EQ(doc.FileName, path);
  EXPECT_EQ(doc.DownLoadDesc, "Firmware for RX");
  EXPECT_EQ(doc.DownLoadVersion, "Ver 2.10");
  EXPECT_EQ(doc.EnableCommand, 0);
  EXPECT_EQ(doc.Reboot, 0);
  EXPECT_EQ(doc.BeginMessage, "first\rsecond");
  EXPECT_EQ(doc.DoneMessage, "done");
  EXPECT_EQ(doc.PrinterList, (std::vector<std::string>{"RX-110", "HALVORN KV2"}));
  ASSERT_EQ(doc.PrinterTable.size(), 2u);  // the empty value is not kept
  EXPECT_EQ(doc.PrinterTable[0], (std::pair<std::string, std::string>("RX-999", "7,1")));
  EXPECT_EQ(doc.PrinterTable[1], (std::pair<std::string, std::string>("RX-997", "ABC")));
  EXPECT_EQ(DataOf(doc), data);  // later 0x1A bytes belong to the data
  // The digest is of the data alone, not of the header before them.
  EXPECT_EQ(doc.DataSha256(),
            quillon::Sha256Hex(reinterpret_cast<const unsigned char*>(data.data()), data.size()));
  // The package itself is never changed.
  EXPECT_EQ(quillon_test::ReadFileBytes(path).size(), kFullHeader.size() + 1 + data.size());
}

TEST_F(PackageForms, EmbeddedDataStartAfterTheFirstMark) {
  std::string file = Header({"FileFormat=RXF"});
  file.resize(120, ' ');
  file += '\x1A';
  file += Pattern(179, 2);
  ASSERT_EQ(file.size(), 300u);
  TDownDocFile doc(Put(dir_, "E.RXF", file), icons_);
  EXPECT_EQ(doc.DataSize, 179u);
  EXPECT_EQ(DataOf(doc), file.substr(121));
}

TEST_F(PackageForms, CompressedPackageExpandsByteExact) {
  const std::string data = Pattern(200000, 3) + std::string(70000, 'A');
  const std::string plain = Put(dir_, "FW.RXF", kFullHeader + '\x1A' + data);
  const std::string packed = Mscompress(plain, dir_ + "/FW.RX_");
  ASSERT_FALSE(packed.empty());
  fs::remove(plain);
  TDownDocFile doc(packed, icons_);
  EXPECT_EQ(doc.Status, 0);
  EXPECT_EQ(doc.HeaderValid, 1);
  EXPECT_EQ(doc.DownLoadDesc, "Firmware for RX");
  EXPECT_EQ(DataOf(doc), data);
}

TEST_F(PackageForms, CabinetWithSubfolderAndIconsOpensAndCopiesOnlyTopIcons) {
  for (bool mszip : {false, true}) {
    SCOPED_TRACE(mszip ? "mszip" : "stored");
    const std::string src = quillon_test::MakeTestDir("src");
    const std::string fw1 = Pattern(40000, 4), fw2 = Pattern(70000, 5);
    Put(src, "HEADER.RXF",
        Header({"FileFormat=RXF", "DownLoadDesc=Cab", "DownLoadFile=FW1.BIN,sub\\FW2.BIN",
                "DownLoadPrinter=KV3"}) + "[Printers]\r\nKV99=12,1\r\n");
    Put(src, "FW1.BIN", fw1);
    Put(src, "sub/FW2.BIN", fw2);
    Put(src, "LOGO.ico", "icon-bytes");
    Put(src, "sub/DEEP.ico", "deep");
    const std::string cab = Gcab(src, "FW.rxv", {"HEADER.RXF", "FW1.BIN", "sub/FW2.BIN", "LOGO.ico", "sub/DEEP.ico"}, mszip);
    ASSERT_FALSE(cab.empty());
    const std::string icons = quillon_test::MakeTestDir("icons");
    TDownDocFile doc(cab, icons);
    EXPECT_EQ(doc.Status, 0);
    EXPECT_EQ(doc.HeaderValid, 1);
    EXPECT_EQ(doc.DownLoadDesc, "Cab");
    EXPECT_EQ(doc.PrinterList, std::vector<std::string>{"KV3"});
    ASSERT_EQ(doc.PrinterTable.size(), 1u);
    EXPECT_EQ(DataOf(doc), fw1 + fw2);
    EXPECT_EQ(FilesBelow(icons), std::vector<std::string>{"LOGO.ico"});
    EXPECT_EQ(quillon_test::ReadFileBytes(icons + "/LOGO.ico"), "icon-bytes");
    EXPECT_FALSE(fs::exists(doc.WorkDir));
  }
}

TEST_F(PackageForms, CabinetMemberNamesMatchWithoutRegardToCase) {
  const std::string src = quillon_test::MakeTestDir("src");
  Put(src, "header.rxf", Header({"FileFormat=rxf", "DownLoadFile=fw.bin"}));
  Put(src, "FW.BIN", "0123456789");
  const std::string cab = Gcab(src, "P.RXV", {"header.rxf", "FW.BIN"}, false);
  ASSERT_FALSE(cab.empty());
  TDownDocFile doc(cab, icons_);
  EXPECT_EQ(doc.HeaderValid, 1);
  EXPECT_EQ(DataOf(doc), "0123456789");
}

TEST_F(PackageForms, IconsOfOtherUsersInTheTemporaryFolderAreNotTaken) {
  Put(quillon_test::TestRoot() + "/tmp", "STRAY.ico", "not ours");
  const std::string path = Put(dir_, "FW.RXF", Header({"FileFormat=RXF"}) + "\x1A" "data");
  TDownDocFile doc(path, icons_);
  EXPECT_EQ(DataOf(doc), "data");
  EXPECT_TRUE(FilesBelow(icons_).empty());
  fs::remove(quillon_test::TestRoot() + "/tmp/STRAY.ico");
}

TEST_F(PackageForms, LargePackagesKeepTheirHeaderValues) {
  // Beyond the size read whole by the profile reader.
  const std::string data = Pattern(3 << 20, 11);
  TDownDocFile doc(Put(dir_, "BIG.RXF", kFullHeader + '\x1A' + data), icons_);
  EXPECT_EQ(doc.HeaderValid, 1);
  EXPECT_EQ(doc.DownLoadDesc, "Firmware for RX");
  EXPECT_EQ(doc.PrinterTable.size(), 2u);
  EXPECT_EQ(DataOf(doc), data);

  const std::string raw = std::string(2 << 20, 'r') + "\r\n[RX_DownLoad]\r\nFileFormat=RXF\r\n";
  TDownDocFile late(Put(dir_, "LATE.BIN", raw), icons_);
  EXPECT_EQ(late.HeaderValid, 0);  // a header deep inside data is no header
  EXPECT_EQ(DataOf(late), raw);
}

TEST_F(PackageForms, ASingleFileThatIsNoHeaderIsAllData) {
  for (const char* name : {"RAW.BIN", "RAW.RXF"}) {
    const std::string data = "no header here\r\n[Other]\r\nx=1\r\n" + Pattern(3000, 6);
    TDownDocFile doc(Put(dir_, name, data), icons_);
    EXPECT_EQ(doc.Status, 0);
    EXPECT_EQ(doc.HeaderValid, 0);
    EXPECT_EQ(doc.EnableCommand, 1);
    EXPECT_EQ(doc.Reboot, 1);
    EXPECT_TRUE(doc.PrinterList.empty());
    EXPECT_EQ(DataOf(doc), data);
  }
}

TEST_F(PackageForms, FileFormatIsReadToThreeCharacters) {
  for (const auto& [value, valid] : std::vector<std::pair<std::string, int>>{
           {"rxf", 1}, {"RXFX", 1}, {"\"RxF\"", 1}, {"RX", 0}, {"XRXF", 0}}) {
    SCOPED_TRACE(value);
    TDownDocFile doc(Put(dir_, "F.RXF", Header({"FileFormat=" + value}) + "\x1A" "d"), icons_);
    EXPECT_EQ(doc.HeaderValid, valid);
  }
}

TEST_F(PackageForms, PrinterNamesSplitOnRunsOfQuotesAndCommas) {
  for (const char* value : {"\"RX-110\",\"KV2 A\"", "RX-110,KV2 A", "\"\"RX-110\"\",,\"KV2 A\","}) {
    SCOPED_TRACE(value);
    TDownDocFile doc(Put(dir_, "P.RXF", Header({"FileFormat=RXF", std::string("DownLoadPrinter=") + value}) + "\x1A"), icons_);
    EXPECT_EQ(doc.PrinterList, (std::vector<std::string>{"RX-110", "KV2 A"}));
  }
}

TEST_F(PackageForms, DataFilesResolveBesideTheSinglePackageInListedOrder) {
  Put(dir_, "A.BIN", "0123456789");
  Put(dir_, "B.BIN", "abcdefghijklmnopqrst");
  const std::string abs = Put(quillon_test::MakeTestDir("elsewhere"), "C.BIN", "CC");
  {
    TDownDocFile doc(Put(dir_, "P.RXF", Header({"FileFormat=RXF", "DownLoadFile=B.BIN,A.BIN"})), icons_);
    EXPECT_EQ(DataOf(doc), "abcdefghijklmnopqrst0123456789");
  }
  {
    // A blank after the comma belongs to the name, which is then not found:
    // the package is refused rather than sent with part of its data.
    TDownDocFile doc(Put(dir_, "P.RXF", Header({"FileFormat=RXF", "DownLoadFile=A.BIN, B.BIN"})), icons_);
    EXPECT_EQ(doc.Status, kDocBadFormat);
    EXPECT_NE(doc.StatusDetail.find("\" B.BIN\""), std::string::npos) << doc.StatusDetail;
    EXPECT_EQ(DataOf(doc), "");
  }
  {
    TDownDocFile doc(Put(dir_, "P.RXF", Header({"FileFormat=RXF", "DownLoadFile=A.BIN,,B.BIN"})), icons_);
    EXPECT_EQ(doc.Status, 0);
    EXPECT_EQ(DataOf(doc), "0123456789abcdefghijklmnopqrst");
  }
  {
    // Data come from the package alone: an absolute name is refused.
    TDownDocFile doc(Put(dir_, "P.RXF", Header({"FileFormat=RXF", "DownLoadFile=A.BIN," + abs})), icons_);
    EXPECT_EQ(doc.Status, kDocBadFormat);
    EXPECT_NE(doc.StatusDetail.find("outside"), std::string::npos) << doc.StatusDetail;
    EXPECT_EQ(DataOf(doc), "");
  }
  {
    // Named from another working folder, the files are still found.
    const fs::path cwd = fs::current_path();
    fs::current_path(quillon_test::MakeTestDir("cwd"));
    TDownDocFile doc(Put(dir_, "P.RX_", Header({"FileFormat=RXF", "DownLoadFile=A.BIN"})), icons_);
    fs::current_path(cwd);
    EXPECT_EQ(DataOf(doc), "0123456789");
  }
}

TEST_F(PackageForms, MissingOrUnusablePackagesReportStatus17) {
  EXPECT_EQ(TDownDocFile(dir_ + "/NONE.RXF", icons_).Status, 17);
  EXPECT_EQ(TDownDocFile(dir_ + "/NONE.RXV", icons_).Status, 17);
  EXPECT_EQ(TDownDocFile(dir_, icons_).Status, 17);  // a folder
  const std::string fifo = dir_ + "/PIPE.RXF";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  TDownDocFile doc(fifo, icons_);  // must not block on the pipe
  EXPECT_EQ(doc.Status, 17);
  EXPECT_EQ(doc.DataSize, 0u);
}

TEST_F(PackageForms, EmptyPathOpensNothing) {
  TDownDocFile doc("", icons_);
  EXPECT_EQ(doc.Status, 0);
  EXPECT_EQ(doc.HeaderValid, 0);
  EXPECT_EQ(doc.EnableCommand, 0);
  EXPECT_EQ(doc.DataBuffer, nullptr);
}

TEST_F(PackageForms, NoWorkingFolderGivesStatus18) {
  const std::string path = Put(dir_, "FW.RXF", Header({"FileFormat=RXF"}) + "\x1A" "data");
  const std::string saved = getenv("TMPDIR");
  setenv("TMPDIR", (dir_ + "/no/such/folder").c_str(), 1);
  TDownDocFile doc(path, icons_);
  setenv("TMPDIR", saved.c_str(), 1);
  EXPECT_EQ(doc.Status, 18);
  EXPECT_EQ(doc.DataSize, 0u);
}

TEST_F(PackageForms, TruncatedCompressedPackageIsAFailedCopy) {
  const std::string plain = Put(dir_, "FW.RXF", Header({"FileFormat=RXF"}) + "\x1A" + Pattern(50000, 7));
  const std::string packed = Mscompress(plain, dir_ + "/FW.RX_");
  ASSERT_FALSE(packed.empty());
  const std::string whole = quillon_test::ReadFileBytes(packed);
  for (size_t keep : {size_t{14}, size_t{20}, whole.size() / 2, whole.size() - 1}) {
    SCOPED_TRACE(keep);
    Put(dir_, "CUT.RX_", whole.substr(0, keep));
    TDownDocFile doc(dir_ + "/CUT.RX_", icons_);
    EXPECT_EQ(doc.Status, 18);
    EXPECT_EQ(doc.HeaderValid, 0);
    EXPECT_EQ(doc.DataSize, 0u);
    EXPECT_TRUE(WorkLeftovers().empty());
  }
}

TEST_F(PackageForms, EmbeddedHeaderWithoutDataMarkIsRefused) {
  TDownDocFile doc(Put(dir_, "NOMARK.RXF", Header({"FileFormat=RXF", "DownLoadDesc=x"}) + "payload"), icons_);
  EXPECT_EQ(doc.Status, 19);
  EXPECT_EQ(doc.DataSize, 0u);
  EXPECT_EQ(doc.DataBuffer, nullptr);
}

TEST_F(PackageForms, DataTooLongForTheLengthFieldIsRefused) {
  // Sparse files: no disk or memory is spent on them.
  fs::resize_file(Put(dir_, "BIG1.BIN", ""), 60000000);
  fs::resize_file(Put(dir_, "BIG2.BIN", ""), 40000000);
  TDownDocFile doc(Put(dir_, "BIG.RXF", Header({"FileFormat=RXF", "DownLoadFile=BIG1.BIN,BIG2.BIN"})), icons_);
  EXPECT_EQ(doc.Status, 19);
  EXPECT_EQ(doc.DataSize, 0u);
  EXPECT_EQ(doc.DataBuffer, nullptr);
}

TEST_F(PackageForms, FailedAllocationLeavesNoBlock) {
  TDownDocFile::SetDataAllocator([](std::size_t) -> void* { return nullptr; });
  TDownDocFile doc(Put(dir_, "FW.RXF", Header({"FileFormat=RXF"}) + "\x1A" "data"), icons_);
  TDownDocFile::SetDataAllocator(nullptr);
  EXPECT_EQ(doc.Status, kDocCannotCopy);
  EXPECT_EQ(doc.HeaderValid, 1);
  EXPECT_EQ(doc.DataSize, 0u);
  EXPECT_EQ(doc.DataBuffer, nullptr);
}

TEST_F(PackageForms, WorkingPathWithACommaStillFindsTheEmbeddedData) {
  const std::string saved = getenv("TMPDIR");
  const std::string odd = quillon_test::MakeTestDir("a,b");
  setenv("TMPDIR", odd.c_str(), 1);
  TDownDocFile doc(Put(dir_, "FW.RXF", Header({"FileFormat=RXF"}) + "\x1A" "data"), icons_);
  setenv("TMPDIR", saved.c_str(), 1);
  EXPECT_EQ(DataOf(doc), "data");
  EXPECT_TRUE(FilesBelow(odd).empty());
}

}  // namespace
