// FTP reply reader fed from a byte buffer handed out in pieces.
#include <cstddef>
#include <cstdint>
#include <string>

#include "netlib/ReplyReader.h"
#include "tests/support/NetDoubles.h"

using namespace quillon::net;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = data[0] % 17;  // 0: everything at once
  quillon_test::BufferSource source(std::string(reinterpret_cast<const char*>(data + 1), size - 1), piece);
  char work[256];
  for (;;) {
    const size_t before = source.Consumed();
    const int code = ReadReply(source, work, sizeof(work), 0);
    if (code < 0 || code > 999) __builtin_trap();
    if (source.Consumed() == before) break;  // nothing left to read
  }
  return 0;
}
