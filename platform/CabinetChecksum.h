#pragma once
// The cabinet format carries a checksum for every data block; the
// decompressor does not insist on it, but a firmware image must not be sent
// with a damaged block, so it is checked here before anything is extracted.

#include <string>

namespace platform {

// False when a data block's stored checksum (when not 0) does not match its
// bytes. Structures that cannot be followed are left to the decompressor.
bool CabinetChecksumsMatch(const std::string& cabinet);

// The cabinet checksum of bytes, continuing from seed.
unsigned CabinetChecksum(const unsigned char* p, size_t n, unsigned seed);

}  // namespace platform
