// Both programs' command lines: the input split at NUL bytes into
// arguments. quillon-cli's parser must accept or refuse with a message;
// the window program's application object applies them (a package named
// there is opened from the fuzz folder only: slashes after the first
// character become '_', so no argument names a file elsewhere).
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "core/app/QuillonApp.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args;
  std::string cur;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(cur);
      cur.clear();
    } else {
      cur += static_cast<char>(data[i]);
    }
  }
  args.push_back(cur);
  if (args.size() > 64) args.resize(64);

  cli::Options options;
  std::string error;
  if (!cli::ParseArguments(args, options, error) && error.empty()) std::abort();

  for (std::string& a : args) {
    for (size_t i = 1; i < a.size(); ++i) {
      if (a[i] == '/') a[i] = '_';
    }
  }
  const std::string settings = fuzz::Root() + "/QUILLON.INI";
  // Relative names resolve in the fuzz folder.
  char cwd[4096];
  if (!::getcwd(cwd, sizeof cwd) || ::chdir(fuzz::Root().c_str()) != 0) std::abort();
  {
    fuzz::WriteGuard guard;
    TQUILLONApp app(settings, args);
    app.SaveSettingsOnExit = false;
  }
  if (::chdir(cwd) != 0) std::abort();
  return 0;
}
