// The console line reader and the whole query dialogue, fed from a byte
// buffer as if the printer's console had sent it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "netlib/ConsoleQuery.h"
#include "netlib/ConsoleReader.h"
#include "tests/support/NetDoubles.h"

using namespace quillon::net;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  {
    quillon_test::BufferConsole console(bytes);
    char line[256] = {};
    while (ReadConsoleLine(console, line, 255, 0) == 0) {
      if (std::strlen(line) > 254) __builtin_trap();
    }
  }
  {
    quillon_test::BufferConsole console(bytes);
    std::string model, version;
    ConsoleOptions options;
    options.waitMs = 0;
    QueryConsole(console, &model, &version, options);
    // 39 Shift-JIS bytes give at most 39 characters of 3 UTF-8 bytes.
    if (model.size() > 3 * kConsoleValueMax || version.size() > 3 * kConsoleValueMax)
      __builtin_trap();
  }
  return 0;
}
