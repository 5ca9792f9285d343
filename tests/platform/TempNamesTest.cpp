#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <fstream>

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

TEST(TempNames, StaleWorkingFoldersOfKilledRunsAreClearedOthersKept) {
  const std::string saved = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
  const std::string tmp = quillon_test::MakeTestDir("stale");
  setenv("TMPDIR", tmp.c_str(), 1);
  // A run killed while it held its folder: the child never runs destructors.
  std::string left;
  int pipefd[2];
  ASSERT_EQ(::pipe(pipefd), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    auto* held = new platform::LockedTempFolder("dwn");
    const std::string p = held->Path();
    [[maybe_unused]] const ssize_t n = ::write(pipefd[1], p.data(), p.size());
    ::_exit(0);
  }
  ::close(pipefd[1]);
  char buf[4096];
  const ssize_t n = ::read(pipefd[0], buf, sizeof buf);
  ::close(pipefd[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_GT(n, 0);
  left.assign(buf, static_cast<size_t>(n));
  ASSERT_TRUE(fs::exists(left + "/" + platform::kTempFolderLock));
  // A brand-new lock file may be one about to be locked: kept for now.
  EXPECT_EQ(platform::RemoveStaleTempFolders("dwn"), 0);
  const std::string lock = left + "/" + platform::kTempFolderLock;
  struct timespec old[2] = {{::time(nullptr) - 60, 0}, {::time(nullptr) - 60, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, lock.c_str(), old, 0), 0);

  platform::LockedTempFolder live("dwn");  // in use: never taken
  ASSERT_FALSE(live.Empty());
  ASSERT_EQ(::utimensat(AT_FDCWD, (live.Path() + "/" + platform::kTempFolderLock).c_str(), old, 0), 0);
  fs::create_directory(tmp + "/dwnNOLOCK");          // not ours to judge
  std::ofstream(tmp + "/dwnFILE.tmp") << "job";      // a job file, not a folder
  fs::create_directory(tmp + "/other");
  std::ofstream(tmp + "/other/" + platform::kTempFolderLock) << "";
  fs::create_directory_symlink(tmp + "/other", tmp + "/dwnLINK");

  EXPECT_EQ(platform::RemoveStaleTempFolders("dwn"), 1);
  EXPECT_FALSE(fs::exists(left));
  EXPECT_TRUE(fs::exists(live.Path()));
  EXPECT_TRUE(fs::exists(tmp + "/dwnNOLOCK"));
  EXPECT_TRUE(fs::exists(tmp + "/dwnFILE.tmp"));
  EXPECT_TRUE(fs::exists(tmp + "/other/" + platform::kTempFolderLock));
  setenv("TMPDIR", saved.c_str(), 1);
}

TEST(TempNames, LockedFolderIsPrivateAndRemovedWithItsContents) {
  std::string path;
  {
    platform::LockedTempFolder folder("dwn");
    ASSERT_FALSE(folder.Empty());
    path = folder.Path();
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    std::ofstream(path + "/member") << "x";
    // Held: another process (or a cleaner here) cannot lock it.
    const int fd = ::open((path + "/" + platform::kTempFolderLock).c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
  }
  EXPECT_FALSE(fs::exists(path));
}
