#pragma once
// Temporary names in the system's temporary folder ($TMPDIR, else /tmp).

#include <string>

namespace platform {

// The system's temporary folder, with a trailing "/".
std::string TempFolder();

// Creates an empty file named prefix + unique part + ".tmp" in the temporary
// folder (mkstemps, mode 0600) and returns its path; "" on failure.
std::string MakeTempFile(const std::string& prefix);

// Creates a fresh private folder prefix + unique part (mkdtemp, mode 0700)
// and returns its path without a trailing "/"; "" on failure.
std::string MakeTempFolder(const std::string& prefix);

// Removes a file or a whole folder; silent, true when nothing is left.
bool RemovePath(const std::string& path);

// A private working folder (prefix + unique part, mode 0700) that is marked
// as in use for as long as this object lives: it holds an exclusive lock on
// a lock file inside it. The lock file appears already locked, so another
// process never sees it unlocked while the folder is in use. The folder and
// everything in it is removed by the destructor; if the process is killed,
// the kernel drops the lock and RemoveStaleTempFolders takes the folder.
class LockedTempFolder {
 public:
  explicit LockedTempFolder(const std::string& prefix);
  ~LockedTempFolder();
  LockedTempFolder(const LockedTempFolder&) = delete;
  LockedTempFolder& operator=(const LockedTempFolder&) = delete;
  // The folder without a trailing "/", "" when it could not be made.
  const std::string& Path() const { return path_; }
  bool Empty() const { return path_.empty(); }

 private:
  std::string path_;
  int lockFd_ = -1;
};

// The name of the lock file inside a LockedTempFolder.
constexpr char kTempFolderLock[] = ".lock";

// Removes folders prefix* in the temporary folder left by a process that
// died: only real folders (no links) owned by this user whose lock file
// exists and is not locked, and empty ones without a lock file (a run
// killed between making the folder and its lock, or while removing it).
// A folder or lock file younger than kStaleAfterSeconds may be one whose
// maker is about to lock it, and a folder with contents but no lock file is
// not ours to judge: both are kept. The count removed.
int RemoveStaleTempFolders(const std::string& prefix);

// A private temporary file prefix + unique part + ".tmp" (mode 0600) that
// is marked as in use for as long as this object lives: this object keeps
// it open with an exclusive lock, which the kernel drops when the process
// ends however it ends. Removed (still locked) by the destructor.
class LockedTempFile {
 public:
  explicit LockedTempFile(const std::string& prefix);
  ~LockedTempFile();
  LockedTempFile(const LockedTempFile&) = delete;
  LockedTempFile& operator=(const LockedTempFile&) = delete;
  // The file, "" when it could not be made (errno says why).
  const std::string& Path() const { return path_; }
  bool Empty() const { return path_.empty(); }
  // The file, open for reading and writing and locked; -1 when Empty().
  int Fd() const { return lockFd_; }

 private:
  std::string path_;
  int lockFd_ = -1;
};

// Removes files prefix*.tmp in the temporary folder whose writer has gone:
// regular files (no links) owned by this user, at least kStaleAfterSeconds
// old, whose lock can be taken. A file of a live LockedTempFile is never
// taken. The count removed.
int RemoveStaleTempFiles(const std::string& prefix);

// What a killed run of prefix left in the temporary folder: its folders
// and its files (RemoveStaleTempFolders and RemoveStaleTempFiles). The
// count removed.
int RemoveStaleTempLeftovers(const std::string& prefix);

// Younger than this, a folder or file may be between its making and its
// lock: a sweep leaves it.
constexpr int kStaleAfterSeconds = 2;

// Owns a temporary file or folder and removes it when destroyed.
class TempPath {
 public:
  TempPath() = default;
  explicit TempPath(std::string path) : path_(std::move(path)) {}
  ~TempPath() { Reset(); }
  TempPath(const TempPath&) = delete;
  TempPath& operator=(const TempPath&) = delete;
  TempPath(TempPath&& o) noexcept : path_(std::move(o.path_)) { o.path_.clear(); }
  TempPath& operator=(TempPath&& o) noexcept {
    if (this != &o) { Reset(); path_ = std::move(o.path_); o.path_.clear(); }
    return *this;
  }
  const std::string& Path() const { return path_; }
  bool Empty() const { return path_.empty(); }
  void Reset() { if (!path_.empty()) RemovePath(path_); path_.clear(); }
  std::string Release() { std::string p = std::move(path_); path_.clear(); return p; }

 private:
  std::string path_;
};

}  // namespace platform
