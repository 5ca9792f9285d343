#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <signal.h>
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

namespace {

void Age(const std::string& path) {
  const struct timespec old[2] = {{::time(nullptr) - 60, 0}, {::time(nullptr) - 60, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// A child that makes a locked job file and an empty folder without a lock
// (as a run killed between making its folder and its lock leaves it), says
// their names and waits for SIGKILL: no destructor of its runs.
struct DoomedRun {
  pid_t pid = -1;
  std::string file, folder;
  DoomedRun() {
    int up[2];
    if (::pipe(up) != 0) return;
    pid = ::fork();
    if (pid == 0) {
      ::close(up[0]);
      auto* job = new platform::LockedTempFile("dwn");
      const std::string text = job->Path() + "\n" + platform::MakeTempFolder("dwn") + "\n";
      [[maybe_unused]] const ssize_t n = ::write(up[1], text.data(), text.size());
      for (;;) ::pause();
    }
    ::close(up[1]);
    std::string text;
    char buf[4096];
    ssize_t n;
    while (text.find('\n', text.find('\n') + 1) == std::string::npos &&
           (n = ::read(up[0], buf, sizeof buf)) > 0)
      text.append(buf, static_cast<std::size_t>(n));
    ::close(up[0]);
    const std::size_t nl = text.find('\n');
    if (nl == std::string::npos) return;
    file = text.substr(0, nl);
    folder = text.substr(nl + 1, text.find('\n', nl + 1) - nl - 1);
  }
  void Kill() {
    if (pid <= 0) return;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
  }
  ~DoomedRun() { Kill(); }
};

}  // namespace

// A job file is the whole job: one left by a run that was killed is cleared
// at the next start, as its working folder is; one whose run is alive is
// not, however old.
TEST(TempNames, JobFilesAndEmptyFoldersOfKilledRunsAreClearedLiveOnesKept) {
  const std::string saved = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
  const std::string tmp = quillon_test::MakeTestDir("stalefiles");
  setenv("TMPDIR", tmp.c_str(), 1);
  DoomedRun run;
  ASSERT_FALSE(run.file.empty());
  ASSERT_FALSE(run.folder.empty());
  ASSERT_TRUE(fs::exists(run.file));
  EXPECT_EQ(run.file.substr(run.file.size() - 4), ".tmp");
  Age(run.file);
  Age(run.folder);

  platform::LockedTempFile live("dwn");  // this process's own, alive
  ASSERT_FALSE(live.Empty());
  Age(live.Path());
  std::ofstream(tmp + "/dwnNOTE.txt") << "not a job file";
  std::ofstream(tmp + "/other.tmp") << "not ours";
  std::ofstream(tmp + "/target") << "x";
  fs::create_symlink(tmp + "/target", tmp + "/dwnLINK.tmp");
  fs::create_directory(tmp + "/dwnFULL");            // holds something: not judged
  std::ofstream(tmp + "/dwnFULL/member") << "x";
  for (const char* name : {"/dwnNOTE.txt", "/other.tmp", "/target", "/dwnLINK.tmp", "/dwnFULL"})
    Age(tmp + name);

  // Still alive: its file is locked, and its empty folder may be one about
  // to get its lock as far as anyone can tell: the folder goes, the file stays.
  EXPECT_EQ(platform::RemoveStaleTempLeftovers("dwn"), 1);
  EXPECT_TRUE(fs::exists(run.file));
  EXPECT_FALSE(fs::exists(run.folder));

  run.Kill();
  // Brand-new leftovers may be a run's between making and locking: kept.
  const std::string young = platform::MakeTempFolder("dwn");
  std::ofstream(tmp + "/dwnYOUNG.tmp") << "job";
  EXPECT_EQ(platform::RemoveStaleTempLeftovers("dwn"), 1);
  EXPECT_FALSE(fs::exists(run.file));
  EXPECT_TRUE(fs::exists(young));
  EXPECT_TRUE(fs::exists(tmp + "/dwnYOUNG.tmp"));
  EXPECT_TRUE(fs::exists(live.Path()));
  for (const char* name : {"/dwnNOTE.txt", "/other.tmp", "/target", "/dwnFULL/member"})
    EXPECT_TRUE(fs::exists(tmp + name)) << name;
  EXPECT_TRUE(fs::is_symlink(tmp + "/dwnLINK.tmp"));
  setenv("TMPDIR", saved.c_str(), 1);
}

TEST(TempNames, LockedFileIsPrivateLockedAndRemoved) {
  std::string path;
  {
    platform::LockedTempFile file("dwn");
    ASSERT_FALSE(file.Empty());
    path = file.Path();
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Written by path as the job file is, it keeps its lock.
    std::ofstream(path) << "job";
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
  }
  EXPECT_FALSE(fs::exists(path));
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
