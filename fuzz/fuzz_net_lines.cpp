// FTP line framing as the control and data connections deliver it: lines
// of every length and split, each read consuming nothing past its LF.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "netlib/LineReader.h"
#include "tests/support/NetDoubles.h"

using namespace quillon::net;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const size_t piece = size > 0 ? data[0] % 8 : 0;
  quillon_test::BufferSource source(bytes, piece);
  char line[256];
  size_t consumed = 0;
  for (;;) {
    const size_t n = ReadLine(source, line, sizeof(line), 0);
    if (n == 0) break;
    if (n > 255 || std::strlen(line) > n) __builtin_trap();
    consumed += n;
    if (consumed != source.Consumed()) __builtin_trap();
    StripLineEnd(line);
  }
  if (source.Consumed() != size) __builtin_trap();
  return 0;
}
