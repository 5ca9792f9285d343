// A single-file package (plain header, data after the 0x1A mark or named
// data files). An input whose first byte has its top bit set gets a header
// text padded beyond 1 MiB, so the large-header branches are reached
// without inputs of that size.
#include <string>

#include "fuzz/PackageTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0 && (data[0] & 0x80)) {
    std::string padded = "[RX_DownLoad]\r\n;" + std::string((1u << 20) - 64 + data[0], ' ') + "\r\n";
    padded.append(reinterpret_cast<const char*>(data + 1), size - 1);
    fuzz::OpenPackage("P.RXF", reinterpret_cast<const uint8_t*>(padded.data()), padded.size());
  } else {
    fuzz::OpenPackage("P.RXF", data, size);
  }
  return 0;
}
