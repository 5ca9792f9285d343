#pragma once
// What the fuzz targets that touch files share: a private folder under
// TMPDIR (the code under test gets it as its TMPDIR), and a guard that
// aborts when anything writes outside it while an input runs. The guard
// replaces the C library's open, creat, fopen, mkdir, rename, link and
// mkstemp/mkdtemp families for the whole process, so it sees libmspack's
// and the C++ library's writes too.

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

namespace fuzz {

// Makes the folder (once) and returns it, without a trailing "/". Its "tmp"
// subfolder becomes TMPDIR.
const std::string& Root();
std::string TmpDir();

// Writes bytes to Root()/name (the guard is off for the harness itself).
std::string Put(const std::string& name, const uint8_t* data, size_t size);

// The names in a folder.
std::set<std::string> Entries(const std::string& dir);

// Removes everything below dir, keeping dir.
void Clear(const std::string& dir);

// While one lives, every write outside Root() aborts.
class WriteGuard {
 public:
  WriteGuard();
  ~WriteGuard();
};

}  // namespace fuzz
