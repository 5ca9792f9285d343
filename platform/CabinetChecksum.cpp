#include "platform/CabinetChecksum.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace platform {
namespace {


bool ReadAt(int fd, std::uint64_t offset, unsigned char* buf, size_t n) {
  size_t got = 0;
  while (got < n) {
    const ssize_t r = ::pread(fd, buf + got, n - got, static_cast<off_t>(offset + got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    got += static_cast<size_t>(r);
  }
  return true;
}

unsigned U16(const unsigned char* p) { return p[0] | (p[1] << 8); }
std::uint32_t U32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Skips a NUL-terminated string at offset; false when none ends in 256 bytes.
bool SkipString(int fd, std::uint64_t& offset) {
  unsigned char c;
  for (int i = 0; i < 256; ++i) {
    if (!ReadAt(fd, offset++, &c, 1)) return false;
    if (c == 0) return true;
  }
  return false;
}

}  // namespace

unsigned CabinetChecksum(const unsigned char* p, size_t n, unsigned seed) {
  std::uint32_t sum = seed;
  size_t words = n / 4;
  while (words--) {
    sum ^= U32(p);
    p += 4;
  }
  std::uint32_t rest = 0;
  switch (n % 4) {
    case 3: rest |= static_cast<std::uint32_t>(*p++) << 16; [[fallthrough]];
    case 2: rest |= static_cast<std::uint32_t>(*p++) << 8; [[fallthrough]];
    case 1: rest |= *p; break;
    default: break;
  }
  return sum ^ rest;
}

bool CabinetChecksumsMatch(const std::string& cabinet) {
  UniqueFd fd(OpenRegularFile(cabinet));
  if (!fd.ok()) return true;

  unsigned char head[36];
  if (!ReadAt(fd.get(), 0, head, sizeof head) || U32(head) != 0x4643534Du /* "MSCF" */) return true;
  const unsigned folders = U16(head + 26);
  const unsigned flags = U16(head + 30);
  std::uint64_t at = sizeof head;
  unsigned folderReserve = 0, blockReserve = 0;
  if (flags & 4) {
    unsigned char r[4];
    if (!ReadAt(fd.get(), at, r, 4)) return true;
    folderReserve = r[2];
    blockReserve = r[3];
    at += 4 + U16(r);
  }
  if (blockReserve != 0) return true;  // checksum layout with reserve varies
  for (unsigned bit : {1u, 2u}) {
    if ((flags & bit) && !(SkipString(fd.get(), at) && SkipString(fd.get(), at))) return true;
  }

  std::vector<unsigned char> block(65536 + 8);
  for (unsigned i = 0; i < folders; ++i) {
    unsigned char folder[8];
    if (!ReadAt(fd.get(), at + i * (8 + std::uint64_t{folderReserve}), folder, 8)) return true;
    std::uint64_t pos = U32(folder);
    const unsigned count = U16(folder + 4);
    for (unsigned b = 0; b < count; ++b) {
      if (!ReadAt(fd.get(), pos, block.data(), 8)) break;
      const std::uint32_t stored = U32(block.data());
      const unsigned len = U16(block.data() + 4);
      if (stored != 0) {
        if (!ReadAt(fd.get(), pos + 8, block.data() + 8, len)) break;
        const unsigned sum = CabinetChecksum(block.data() + 8, len, 0);
        if (CabinetChecksum(block.data() + 4, 4, sum) != stored) return false;
      }
      pos += 8 + len;
    }
  }
  return true;
}

}  // namespace platform
