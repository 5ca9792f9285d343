#pragma once
// The cabinet format carries a checksum for every data block; the
// decompressor does not insist on it, but a firmware image must not be sent
// with a damaged block, so it is checked here before anything is extracted.
// The same walk measures what the blocks announce, so a cabinet that would
// unpack to more than its limit is refused before anything is written.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace platform {

// Walks the data blocks of every folder once, in file order. Fails (with a
// cabinet error number from Cabinet.h and the cause) when a block's stored
// checksum (when not 0) does not match its bytes, when two folders share
// blocks, or when the blocks announce more than uncompressedLimit bytes.
// Structures that cannot be followed are left to the decompressor.
//
// layout, when given, receives where each folder's blocks lie (complete
// only when the whole folder table could be read), and the checksums of
// MSZIP folders are left to the caller, which reads those blocks anyway
// (MszipFolderReader checks every block it reads, VerifyRest the others).
struct CabinetFolderBlocks {
  std::uint64_t first = 0;  // offset of the folder's first data block
  unsigned count = 0;       // its data blocks
  unsigned compression = 0; // the folder's compression type, as stored
};
struct CabinetLayout {
  bool complete = false;
  unsigned blockReserve = 0;  // reserved bytes in each data block's header
  std::vector<CabinetFolderBlocks> folders;  // in file order
};
Error CheckCabinetBlocks(const std::string& cabinet, std::uint64_t uncompressedLimit,
                         CabinetLayout* layout = nullptr);

// The cabinet checksum of bytes, continuing from seed.
unsigned CabinetChecksum(const unsigned char* p, size_t n, unsigned seed);

}  // namespace platform
