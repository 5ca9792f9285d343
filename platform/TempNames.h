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
