#pragma once
// The cabinet format carries a checksum for every data block; the
// decompressor does not insist on it, but a firmware image must not be sent
// with a damaged block, so it is checked here before anything is extracted.
// The same walk measures what the blocks announce, so a cabinet that would
// unpack to more than its limit is refused before anything is written.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Error.h"

namespace platform {

// Walks the data blocks of every folder once, in file order. Fails (with a
// cabinet error number from Cabinet.h and the cause) when a block's stored
// checksum (when not 0) does not match its bytes, when two folders share
// blocks, or when the blocks announce more than uncompressedLimit bytes.
// Structures that cannot be followed are left to the decompressor.
Error CheckCabinetBlocks(const std::string& cabinet, std::uint64_t uncompressedLimit);

// The cabinet checksum of bytes, continuing from seed.
unsigned CabinetChecksum(const unsigned char* p, size_t n, unsigned seed);

}  // namespace platform
