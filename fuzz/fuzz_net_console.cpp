// The console line reader and the whole query dialogue, fed from a byte
// buffer as if the printer's console had sent it.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "netlib/ConsoleQuery.h"
#include "netlib/ConsoleReader.h"

using namespace quillon::net;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    BufferConsole console(data, size);
    char line[256] = {};
    while (ReadConsoleLine(console, line, 255, 0) == 0) {
      if (std::strlen(line) > 254) __builtin_trap();
    }
  }
  {
    BufferConsole console(data, size);
    char model[40] = {}, version[40] = {};
    ConsoleOptions options;
    QueryConsole(console, model, version, options);
    if (model[39] != '\0' || version[39] != '\0') __builtin_trap();
  }
  return 0;
}
