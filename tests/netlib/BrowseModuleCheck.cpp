// The library loads no widget library until the first QUILLON_SelectPrinter
// call, which loads the browse module beside it; without the module the
// call fails with 126 (127: a module without the entry) and the reason.
// A program of its own, not a suite: it loads the library with dlopen, a
// copy of it in a scratch folder for the missing module, and nothing else
// of ours may be in the process for that.
//   browse_module_check lazy|missing LIBRARY
#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "netlib/quillon.h"

namespace {

int failures = 0;

void Check(bool ok, const std::string& what) {
  if (!ok) {
    std::fprintf(stderr, "FAIL: %s\n", what.c_str());
    ++failures;
  }
}

bool Mapped(const char* name) {
  std::ifstream maps("/proc/self/maps");
  const std::string all((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
  return all.find(name) != std::string::npos;
}

struct Library {
  void* handle = nullptr;
  int (*select)(void*, char*, uint32_t, uint32_t*) = nullptr;
  uint32_t (*lastError)() = nullptr;
  uint32_t (*lastDetail)(char*, uint32_t) = nullptr;

  explicit Library(const std::string& path) {
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), dlerror());
      std::exit(2);
    }
    select = reinterpret_cast<decltype(select)>(dlsym(handle, "QUILLON_SelectPrinter"));
    lastError = reinterpret_cast<decltype(lastError)>(dlsym(handle, "QUILLON_GetLastError"));
    lastDetail = reinterpret_cast<decltype(lastDetail)>(dlsym(handle, "QUILLON_GetLastErrorDetail"));
    if (!select || !lastError || !lastDetail) {
      std::fprintf(stderr, "%s lacks an export\n", path.c_str());
      std::exit(2);
    }
  }
  ~Library() { dlclose(handle); }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  std::string Detail() const {
    char text[1024];
    lastDetail(text, sizeof text);
    return text;
  }
  int Select() const {
    char path[256] = "untouched";
    uint32_t length = 7;
    const int chosen = select(nullptr, path, sizeof path, &length);
    Check(std::string(path) == "untouched" && length == 7, "a failed call leaves path and length alone");
    return chosen;
  }
};

struct ScratchDir {
  std::filesystem::path path;
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillon-module-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::exit(2);
    path = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

// Loaded, the library brings no widget library; the first call loads the
// module (and Qt Widgets with it). Without an application object there is
// no dialog: 0, and no loader error.
int Lazy(const std::string& library) {
  Library lib(library);
  Check(!Mapped("libQt6Widgets"), "loading the library loads Qt Widgets");
  Check(!Mapped("libQt6Gui"), "loading the library loads Qt Gui");
  Check(!Mapped("libquillon-browse"), "loading the library loads the browse module");
  Check(lib.Select() == 0, "no printer is chosen without an application");
  Check(lib.lastError() != QUILLON_ERROR_MOD_NOT_FOUND && lib.lastError() != QUILLON_ERROR_PROC_NOT_FOUND,
        "the module beside the library is found: " + lib.Detail());
  Check(Mapped("libquillon-browse.so"), "the first call loads the browse module");
  Check(Mapped("libQt6Widgets"), "the browse module brings the dialog's widgets");
  return failures == 0 ? 0 : 1;
}

// A copy of the library alone in a folder: no module beside it.
int Missing(const std::string& library) {
  ScratchDir dir;
  const std::filesystem::path copy = dir.path / "libquillon.so.1";
  std::filesystem::copy_file(library, copy);
  Library lib(copy.string());
  Check(lib.Select() == 0, "a call without the module chooses nothing");
  Check(lib.lastError() == QUILLON_ERROR_MOD_NOT_FOUND,
        "without the module the last error is 126, not " + std::to_string(lib.lastError()));
  const std::string expected = (dir.path / "quillon/libquillon-browse.so").string();
  Check(lib.Detail().find(expected) != std::string::npos,
        "the detail names the module looked for: " + lib.Detail());
  Check(!Mapped("libQt6Widgets"), "a failed load leaves Qt Widgets out");

  // A file there that is not the module (the library itself): 127. The
  // failed load above is tried again.
  std::filesystem::create_directories(dir.path / "quillon");
  std::filesystem::copy_file(library, expected);
  Check(lib.Select() == 0, "a module without the entry chooses nothing");
  Check(lib.lastError() == QUILLON_ERROR_PROC_NOT_FOUND,
        "a module without the entry is 127, not " + std::to_string(lib.lastError()));
  Check(lib.Detail().find("QUILLON_BrowseSelectPrinter") != std::string::npos,
        "the detail names the missing entry: " + lib.Detail());
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s lazy|missing LIBRARY\n", argv[0]);
    return 2;
  }
  const std::string mode = argv[1];
  if (mode == "lazy") return Lazy(argv[2]);
  if (mode == "missing") return Missing(argv[2]);
  std::fprintf(stderr, "unknown mode %s\n", argv[1]);
  return 2;
}
