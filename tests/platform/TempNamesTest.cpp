#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "platform/TempNames.h"
#include "tests/support/TestEnv.h"

namespace fs = std::filesystem;

TEST(TempNames, FolderFollowsTmpdirWithTrailingSlash) {
  const std::string saved = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
  setenv("TMPDIR", "/some/where", 1);
  EXPECT_EQ(platform::TempFolder(), "/some/where/");
  unsetenv("TMPDIR");
  EXPECT_EQ(platform::TempFolder(), "/tmp/");
  setenv("TMPDIR", saved.c_str(), 1);
  EXPECT_EQ(platform::TempFolder(), saved + "/");
}

TEST(TempNames, FilesAreUniqueEmptyAndPrivate) {
  std::set<std::string> names;
  for (int i = 0; i < 20; ++i) {
    const std::string p = platform::MakeTempFile("dwn");
    ASSERT_FALSE(p.empty());
    EXPECT_EQ(p.rfind(platform::TempFolder() + "dwn", 0), 0u) << p;
    EXPECT_EQ(p.substr(p.size() - 4), ".tmp");
    EXPECT_EQ(fs::file_size(p), 0u);
    struct stat st {};
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    names.insert(p);
  }
  EXPECT_EQ(names.size(), 20u);
  for (const auto& p : names) EXPECT_TRUE(platform::RemovePath(p));
}

TEST(TempNames, PrefixCannotLeaveTheFolder) {
  const std::string p = platform::MakeTempFile("../x");
  ASSERT_FALSE(p.empty());
  EXPECT_EQ(fs::path(p).parent_path().string() + "/", platform::TempFolder());
  platform::RemovePath(p);
}

TEST(TempNames, FailsWhenFolderMissing) {
  const std::string saved = std::getenv("TMPDIR");
  setenv("TMPDIR", (saved + "/does/not/exist").c_str(), 1);
  EXPECT_EQ(platform::MakeTempFile("dwn"), "");
  EXPECT_EQ(platform::MakeTempFolder("dwn"), "");
  setenv("TMPDIR", saved.c_str(), 1);
}

TEST(TempNames, FolderAndOwnerRemoveEverything) {
  std::string dir;
  {
    platform::TempPath owner(platform::MakeTempFolder("dwn"));
    dir = owner.Path();
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(dir.back(), '/');
    struct stat st {};
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    fs::create_directories(dir + "/a/b");
    quillon_test::WriteFileBytes(dir + "/a/b/f.bin", "x");
    platform::TempPath moved(std::move(owner));
    EXPECT_TRUE(owner.Empty());
    EXPECT_TRUE(fs::exists(dir + "/a/b/f.bin"));
  }
  EXPECT_FALSE(fs::exists(dir));
  platform::TempPath kept(platform::MakeTempFile("dwn"));
  const std::string file = kept.Release();
  EXPECT_TRUE(fs::exists(file));
  EXPECT_TRUE(platform::RemovePath(file));
  EXPECT_TRUE(platform::RemovePath(file));  // nothing left is success too
}
