// A cabinet package; the fuzz build does not insist on block checksums.
#include "fuzz/PackageTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::OpenPackage("P.RXV", data, size);
  return 0;
}
