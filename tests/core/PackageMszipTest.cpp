// MSZIP folders as zlib decodes them: output identical to the standard
// tool's, back-references into the blocks before, and every block that is
// damaged, unsigned, cut short or larger than it says refused with a cause.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <zlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/package/DownDocFile.h"
#include "core/package/PackageUnpack.h"
#include "platform/CabinetMszip.h"
#include "platform/UniqueFd.h"
#include "platform/UnpackLimits.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/TestEnv.h"

using quillon::kDocBadFormat;
using quillon::kDocOk;

using namespace package_test;
namespace fs = std::filesystem;

namespace {

const std::string kHeader = Header({"FileFormat=RXF", "DownLoadFile=FW.BIN"});

// Repetitive data whose repeats lie far apart: each 1000-byte stretch comes
// back every 20,000 bytes, so most matches reach into the block before.
std::string Repetitive(size_t n) {
  const std::string motif = Pattern(20000, 7);
  std::string s;
  for (size_t i = 0; s.size() < n; ++i) s += motif.substr((i * 1000) % 20000, 1000) + static_cast<char>(i);
  s.resize(n);
  return s;
}

// Raw deflate of each 32 KiB of data, as MSZIP blocks; chained, each block
// may refer to the 32 KiB before it.
std::vector<RawBlock> MszipBlocks(const std::string& data, bool chained) {
  std::vector<RawBlock> blocks;
  for (size_t at = 0; at < data.size(); at += 32768) {
    const std::string chunk = data.substr(at, 32768);
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY), Z_OK);
    if (chained && at > 0) {
      deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(data.data() + at - 32768), 32768);
    }
    std::string out(deflateBound(&z, chunk.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(chunk.data()));
    z.avail_in = static_cast<uInt>(chunk.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    blocks.push_back({"CK" + out, static_cast<unsigned>(chunk.size())});
  }
  return blocks;
}

class PackageMszip : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = quillon_test::MakeTestDir("mszip");
    icons_ = quillon_test::MakeTestDir("icons");
  }
  void TearDown() override { EXPECT_TRUE(WorkLeftovers().empty()) << "working path left behind"; }
  // Opens a one-folder MSZIP cabinet of HEADER.RXF and FW.BIN (the blocks
  // hold both) and expects it refused with a detail holding what.
  // With damage, the block's byte 4 is changed after its checksum was made.
  void ExpectRefused(const std::vector<RawBlock>& blocks, std::uint32_t fwSize, const std::string& what,
                     bool checksums = false, int damage = -1) {
    std::string bytes = MszipCabinet(blocks, {{"HEADER.RXF", kHeader.size()}, {"FW.BIN", fwSize}}, checksums);
    if (damage >= 0) {
      size_t at = bytes.size();  // the blocks end the cabinet
      for (size_t b = blocks.size(); b-- > static_cast<size_t>(damage);) at -= 8 + blocks[b].bytes.size();
      bytes[at + 8 + 4] ^= 0x01;
    }
    const std::string cab = Put(dir_, "BAD.RXV", bytes);
    TDownDocFile doc(cab, icons_);
    EXPECT_EQ(doc.Status, kDocBadFormat);
    EXPECT_NE(doc.StatusDetail.find(what), std::string::npos) << doc.StatusDetail;
    EXPECT_NE(doc.StatusDetail.find("cabinet"), std::string::npos) << doc.StatusDetail;
    EXPECT_EQ(doc.DataSize, 0u);
    EXPECT_EQ(doc.DataBuffer, nullptr);
    const std::string dest = quillon_test::MakeTestDir("dest");
    EXPECT_EQ(IterateCabinet(cab.c_str(), dest.c_str()), 13);
    // Nothing partial is kept: FW.BIN is gone, only whole members stay.
    EXPECT_FALSE(fs::exists(dest + "/FW.BIN"));
  }
  std::string dir_, icons_;
};

TEST_F(PackageMszip, CabinetsUnpackByteIdenticalToTheStandardTool) {
  const std::string data = Repetitive(300000);
  // Block 1 cannot be read without block 0 as its history: the chained
  // cabinet really refers across blocks.
  const std::vector<RawBlock> chained = MszipBlocks(kHeader + data, true);
  {
    platform::MszipInflater z;
    std::string out(chained[1].stated, '\0');
    EXPECT_TRUE(z.Block(reinterpret_cast<const unsigned char*>(chained[1].bytes.data()), chained[1].bytes.size(),
                        nullptr, 0, reinterpret_cast<unsigned char*>(out.data()), chained[1].stated).Failed());
  }
  const std::string src = quillon_test::MakeTestDir("src");
  Put(src, "HEADER.RXF", kHeader);
  Put(src, "FW.BIN", data);
  Put(src, "LOGO.ico", "icon");
  const std::string gcabMade = Gcab(src, "G.RXV", {"HEADER.RXF", "FW.BIN", "LOGO.ico"}, true);
  ASSERT_FALSE(gcabMade.empty());
  // The standard tool insists on block checksums.
  const std::string handMade = Put(dir_, "C.RXV", MszipCabinet(chained, {{"HEADER.RXF", kHeader.size()},
                                                                          {"FW.BIN", data.size()}}, true));
  for (const std::string& cab : {gcabMade, handMade}) {
    SCOPED_TRACE(cab);
    const std::string ours = quillon_test::MakeTestDir("ours");
    const std::string tool = quillon_test::MakeTestDir("tool");
    ASSERT_EQ(IterateCabinet(cab.c_str(), ours.c_str()), 0);
    ASSERT_EQ(quillon_test::RunCommand("gcab -x -C '" + tool + "' '" + cab + "' >/dev/null 2>&1"), 0);
    const std::vector<std::string> files = FilesBelow(tool);
    EXPECT_EQ(FilesBelow(ours), files);
    for (const std::string& f : files) {
      EXPECT_EQ(quillon_test::ReadFileBytes(ours + "/" + f), quillon_test::ReadFileBytes(tool + "/" + f)) << f;
    }
    EXPECT_EQ(quillon_test::ReadFileBytes(ours + "/FW.BIN"), data);
    TDownDocFile doc(cab, icons_);
    ASSERT_EQ(doc.Status, kDocOk) << doc.StatusDetail;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(doc.DataBuffer), doc.DataSize), data);
  }
}

TEST_F(PackageMszip, MembersAnywhereInTheFolderAndSkippedOnes) {
  // Members that start inside a block, span several, and one the walk skips
  // ("..\\") between them: each gets exactly its own bytes.
  const std::string data = Repetitive(200000);
  const std::string cab = Put(dir_, "M.RXV", MszipCabinet(MszipBlocks(kHeader + data, true),
                                                          {{"HEADER.RXF", kHeader.size()},
                                                           {"A.BIN", 40000},
                                                           {"..\\SKIP.BIN", 70000},
                                                           {"FW.BIN", 90000}}));
  const std::string dest = quillon_test::MakeTestDir("dest");
  ASSERT_EQ(IterateCabinet(cab.c_str(), dest.c_str()), 0);
  EXPECT_EQ(FilesBelow(dest), (std::vector<std::string>{"A.BIN", "FW.BIN", "HEADER.RXF"}));
  EXPECT_EQ(quillon_test::ReadFileBytes(dest + "/HEADER.RXF"), kHeader);
  EXPECT_EQ(quillon_test::ReadFileBytes(dest + "/A.BIN"), data.substr(0, 40000));
  EXPECT_EQ(quillon_test::ReadFileBytes(dest + "/FW.BIN"), data.substr(110000, 90000));
}

TEST_F(PackageMszip, BadBlocksAreRefusedWithTheirCause) {
  const std::string data = Repetitive(100000);
  const std::vector<RawBlock> good = MszipBlocks(kHeader + data, true);
  const auto fw = static_cast<std::uint32_t>(data.size());

  std::vector<RawBlock> damaged = good;
  damaged[1].bytes[2] = '\xFF';  // an invalid block type in the deflate stream
  damaged[1].bytes[3] ^= 0x5A;
  ExpectRefused(damaged, fw, "damaged compressed data");

  std::vector<RawBlock> noSignature = good;
  noSignature[2].bytes[0] = 'X';
  ExpectRefused(noSignature, fw, "\"CK\" signature");

  // The block yields 32 KiB but says 1000 bytes: never more than it says.
  std::vector<RawBlock> larger = good;
  larger[0].stated = 1000;
  ExpectRefused(larger, 1000 - static_cast<std::uint32_t>(kHeader.size()), "more than its stated 1000");

  // Saying more than it yields is no better: the member would be cut short.
  std::vector<RawBlock> smaller = good;
  smaller.back().stated += 10;
  ExpectRefused(smaller, fw + 10, "not its stated");

  // A stream that does not end inside its block.
  std::vector<RawBlock> cut = good;
  cut[1].bytes.resize(cut[1].bytes.size() / 2);
  ExpectRefused(cut, fw, "data block 1");

  // With checksums, the damage is found before the block is inflated, also
  // in a block that no member reaches.
  ExpectRefused(good, fw, "data block 1 of folder 0 fails its checksum", true, 1);
  ExpectRefused(good, 1000, "data block 3 of folder 0 fails its checksum", true, 3);
  ExpectRefused(good, fw + 40000, "past the data of its folder", true);

  // Members reaching past the blocks there are.
  ExpectRefused(good, fw + 40000, "past the data of its folder");
}

TEST_F(PackageMszip, DecoderStopsAtTheUnpackBudget) {
  // Ten blocks of 32 KiB against a budget of 100,000 bytes: the write that
  // would pass it is refused before it reaches the disk.
  const std::string data = Repetitive(10 * 32768);
  const std::string cab = Put(dir_, "B.RXV", MszipCabinet(MszipBlocks(data, true), {{"FW.BIN", data.size()}}));
  const std::string out = dir_ + "/out.bin";
  platform::UniqueFd in(platform::OpenRegularFile(cab));
  platform::UniqueFd target(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600));
  ASSERT_TRUE(in.ok() && target.ok());
  const std::string whole = quillon_test::ReadFileBytes(cab);
  const std::uint64_t first = whole.find("CK") - 8;  // the first block's header
  platform::UnpackBudget budget(100000, UINT64_MAX);
  platform::MszipFolderReader reader(in.get());
  const platform::MszipFolder folder{&budget, 0, first, 10, 0};
  EXPECT_TRUE(reader.Extract(folder, 0, data.size(), target.get()).Failed());
  EXPECT_EQ(budget.Stopped(), platform::UnpackStop::kTooLarge);
  EXPECT_LE(fs::file_size(out), 100000u);
  EXPECT_EQ(budget.Written(), fs::file_size(out));

  // A stop request ends the decoding as well.
  platform::UnpackBudget second(UINT64_MAX, UINT64_MAX);
  platform::MszipFolderReader again(in.get());
  platform::RequestUnpackCancel();
  EXPECT_TRUE(again.Extract(folder, 0, data.size(), target.get()).Failed());
  EXPECT_EQ(second.Stopped(), platform::UnpackStop::kCancelled);
  platform::ClearUnpackCancel();
}

}  // namespace
