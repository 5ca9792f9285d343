// QUILLON_SelectPrinter: finds the browse module beside the library, loads
// it once and hands the call to it. Built into the library; the static
// build for the dialog's tests (QUILLON_BROWSE_LINKED) calls the dialog
// directly.
#include <dlfcn.h>

#include <memory>
#include <mutex>
#include <string>

#include "netlib/LastError.h"
#include "netlib/browse/BrowseModule.h"
#include "netlib/quillon.h"

namespace quillon::net {
namespace {

#ifdef QUILLON_BROWSE_LINKED

BrowseEntry Entry() { return &QUILLON_BrowseSelectPrinter; }

#else

struct ModuleCloser {
  void operator()(void* handle) const { dlclose(handle); }
};

// Any address inside this library, to ask the loader where it came from.
// A static function: an exported symbol could be the caller's own.
void Here() {}

std::string ModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&Here), &info) == 0 || info.dli_fname == nullptr)
    return kBrowseModulePath;
  std::string path = info.dli_fname;
  const std::string::size_type slash = path.rfind('/');
  path.erase(slash == std::string::npos ? 0 : slash + 1);
  return path + kBrowseModulePath;
}

// Loaded on the first call and kept: the dialog's classes register with
// Qt, so the module is never unloaded (RTLD_NODELETE). A failed load is
// tried again on the next call, in case the module has been installed.
BrowseEntry Entry() {
  static std::mutex mutex;
  static std::unique_ptr<void, ModuleCloser> module;
  static BrowseEntry entry = nullptr;
  std::lock_guard<std::mutex> lock(mutex);
  if (entry) return entry;
  const std::string path = ModulePath();
  dlerror();
  std::unique_ptr<void, ModuleCloser> loaded(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
  if (!loaded) {
    const char* why = dlerror();
    SetLastErrorCode(QUILLON_ERROR_MOD_NOT_FOUND);
    SetLastErrorDetail("browse module " + path + ": " + (why ? why : "cannot be loaded"));
    return nullptr;
  }
  auto* found = reinterpret_cast<BrowseEntry>(dlsym(loaded.get(), kBrowseEntryName));
  if (!found) {
    SetLastErrorCode(QUILLON_ERROR_PROC_NOT_FOUND);
    SetLastErrorDetail("browse module " + path + ": no entry " + kBrowseEntryName);
    return nullptr;
  }
  module = std::move(loaded);
  entry = found;
  return entry;
}

#endif

}  // namespace
}  // namespace quillon::net

extern "C" QUILLON_API int QUILLON_SelectPrinter(void* owner, char* path, uint32_t size,
                                                 uint32_t* length) {
  try {
    const quillon::net::BrowseEntry entry = quillon::net::Entry();
    if (!entry) return 0;
    uint32_t error = 0;
    const int chosen = entry(owner, path, size, length, &error);
    if (error != 0) quillon::net::SetLastErrorCode(error);
    return chosen;
  } catch (...) {
    return 0;  // nothing crosses the library's boundary
  }
}
