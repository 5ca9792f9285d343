// A plain package is read once, straight into the data block: its data never
// pass through the working folder, and a package that changes between its
// header being read and its data being read is refused, never sent mixed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/package/DownDocFile.h"
#include "core/package/PackageHeader.h"
#include "platform/TempNames.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/TestEnv.h"

using quillon::kDocBadFormat;
using quillon::kDocOk;

using namespace package_test;
namespace fs = std::filesystem;

namespace {

// What the allocator hook sees while the data block is made: the largest
// file in a working folder, and (when set) a package to change then.
std::uintmax_t g_largestWorkFile = 0;
std::string g_change;
void* WatchingAlloc(std::size_t n) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(platform::TempFolder(), ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->path().string().find("/dwn") == std::string::npos) continue;
    std::error_code sz;
    if (it->is_regular_file(sz)) g_largestWorkFile = std::max(g_largestWorkFile, it->file_size(sz));
  }
  if (!g_change.empty()) std::ofstream(g_change, std::ios::binary | std::ios::app) << "more";
  return std::malloc(n);
}

class PackagePlainRead : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = quillon_test::MakeTestDir("plain");
    icons_ = quillon_test::MakeTestDir("icons");
    g_largestWorkFile = 0;
    g_change.clear();
  }
  void TearDown() override {
    TDownDocFile::SetDataAllocator(nullptr);
    g_change.clear();
    EXPECT_TRUE(WorkLeftovers().empty()) << "working path left behind";
  }
  std::string dir_, icons_;
};

TEST_F(PackagePlainRead, DataGoStraightIntoTheBlockNotThroughTheWorkingFolder) {
  const std::string data = Pattern(3 * quillon::kMaxHeaderText, 5);
  const std::string header = Header({"FileFormat=RXF", "DownLoadDesc=plain"});
  TDownDocFile::SetDataAllocator(WatchingAlloc);
  TDownDocFile doc(Put(dir_, "FW.RXF", header + '\x1A' + data), icons_);
  ASSERT_EQ(doc.Status, kDocOk) << doc.StatusDetail;
  EXPECT_EQ(doc.DownLoadDesc, "plain");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(doc.DataBuffer), doc.DataSize), data);
  // Once the whole package was copied there first (a second pass over it).
  EXPECT_GT(g_largestWorkFile, 0u);
  EXPECT_LE(g_largestWorkFile, quillon::kMaxHeaderText + 1);

  // Without a header the whole file is the data, read the same way.
  TDownDocFile raw(Put(dir_, "RAW.BIN", data), icons_);
  ASSERT_EQ(raw.Status, kDocOk) << raw.StatusDetail;
  EXPECT_EQ(std::string(reinterpret_cast<char*>(raw.DataBuffer), raw.DataSize), data);

  // The default block (mapped, not allocated) holds the same bytes.
  TDownDocFile::SetDataAllocator(nullptr);
  TDownDocFile mapped(Put(dir_, "FW2.RXF", header + '\x1A' + data), icons_);
  ASSERT_EQ(mapped.Status, kDocOk) << mapped.StatusDetail;
  EXPECT_EQ(std::string(reinterpret_cast<char*>(mapped.DataBuffer), mapped.DataSize), data);
}

TEST_F(PackagePlainRead, APackageChangedAfterItsHeaderWasReadIsRefused) {
  const std::string path = Put(dir_, "FW.RXF", Header({"FileFormat=RXF"}) + '\x1A' + Pattern(100000, 6));
  g_change = path;
  TDownDocFile::SetDataAllocator(WatchingAlloc);
  TDownDocFile doc(path, icons_);
  EXPECT_EQ(doc.Status, kDocBadFormat);
  EXPECT_NE(doc.StatusDetail.find("\"FW.RXF\" changed"), std::string::npos) << doc.StatusDetail;
  EXPECT_EQ(doc.DataSize, 0u);
  EXPECT_EQ(doc.DataBuffer, nullptr);
}

}  // namespace
