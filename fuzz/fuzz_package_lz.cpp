// An LZ ("SZDD") compressed single-file package.
#include "fuzz/PackageTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::OpenPackage("P.RX_", data, size);
  return 0;
}
