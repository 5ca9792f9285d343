// Directory listing lines, as the data connection delivers them, parsed in
// both layouts.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "netlib/FtpListing.h"
#include "netlib/LineReader.h"

using namespace quillon::net;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BufferSource source(std::string(reinterpret_cast<const char*>(data), size), 0);
  std::vector<FtpListEntry> entries;
  ListingBuilder builder(entries, 2024);
  char line[256];
  while (ReadLine(source, line, sizeof(line), 0) != 0) {
    StripLineEnd(line);
    builder.Add(line);
  }
  for (const FtpListEntry& e : entries) {
    if (std::memchr(e.Name, '\0', sizeof(e.Name)) == nullptr) __builtin_trap();
    if (e.Directory != 0 && e.Directory != 1) __builtin_trap();
  }
  return 0;
}
