// Opens arbitrary bytes as each package form (plain header, LZ-compressed
// header, cabinet) and checks that the working folder is always removed and
// nothing is written beside it.
#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "core/package/DownDocFile.h"

namespace {

std::string g_root, g_tmp, g_icons;

std::set<std::string> Entries(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") names.insert(n);
    }
    ::closedir(d);
  }
  return names;
}

void Write(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

void RemoveIcons() {
  for (const std::string& n : Entries(g_icons)) ::unlink((g_icons + "/" + n).c_str());
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  return ::remove(path);
}

void RemoveRoot() {
  if (!g_root.empty()) ::nftw(g_root.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char tmpl[] = "/tmp/fuzz-package-XXXXXX";
  if (!::mkdtemp(tmpl)) std::abort();
  g_root = tmpl;
  g_tmp = g_root + "/tmp";
  g_icons = g_root + "/icons";
  ::mkdir(g_tmp.c_str(), 0700);
  ::mkdir(g_icons.c_str(), 0700);
  ::setenv("TMPDIR", g_tmp.c_str(), 1);
  std::atexit(RemoveRoot);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::set<std::string> kExpected = {"tmp", "icons", "P.RXF", "P.RX_", "P.RXV"};
  for (const char* name : {"P.RXF", "P.RX_", "P.RXV"}) {
    const std::string path = g_root + "/" + name;
    Write(path, data, size);
    {
      TDownDocFile doc(path, g_icons);
      if (doc.DataSize && !doc.DataBuffer) std::abort();
      if (doc.DataSize > kMaxPackageData) std::abort();
      if (doc.Status != 0 && doc.Status != 17 && doc.Status != 18 && doc.Status != 19) std::abort();
    }
    if (!Entries(g_tmp).empty()) std::abort();  // working folder left behind
    for (const std::string& n : Entries(g_root)) {
      if (!kExpected.count(n)) std::abort();    // written outside the working folder
    }
    RemoveIcons();
  }
  return 0;
}
