#include "platform/CabinetChecksum.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/Cabinet.h"

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

Error CheckCabinetBlocks(const std::string& cabinet, std::uint64_t uncompressedLimit,
                         CabinetLayout* layout) {
  if (layout) *layout = CabinetLayout{};
  UniqueFd fd(OpenRegularFile(cabinet));
  if (!fd.ok()) return Error::Ok();

  unsigned char head[36];
  if (!ReadAt(fd.get(), 0, head, sizeof head) || U32(head) != 0x4643534Du /* "MSCF" */) {
    return Error::Ok();
  }
  const unsigned folders = U16(head + 26);
  const unsigned flags = U16(head + 30);
  std::uint64_t at = sizeof head;
  unsigned folderReserve = 0, blockReserve = 0;
  if (flags & 4) {
    unsigned char r[4];
    if (!ReadAt(fd.get(), at, r, 4)) return Error::Ok();
    folderReserve = r[2];
    blockReserve = r[3];
    at += 4 + U16(r);
  }
  for (unsigned bit : {1u, 2u}) {
    if ((flags & bit) && !(SkipString(fd.get(), at) && SkipString(fd.get(), at))) return Error::Ok();
  }

  // Each folder's blocks lie one after the other. Walked in the order of
  // their first block, a folder starting inside the blocks of the one before
  // shares blocks with it: refused at once, so no block is read twice.
  struct Folder {
    std::uint64_t first;
    unsigned count, index;
    bool sums;  // checksums checked here
  };
  std::vector<unsigned char> table(folders * (8 + std::size_t{folderReserve}));
  if (!table.empty() && !ReadAt(fd.get(), at, table.data(), table.size())) return Error::Ok();
  std::vector<Folder> order;
  order.reserve(folders);
  for (unsigned i = 0; i < folders; ++i) {
    const unsigned char* folder = table.data() + i * (8 + std::size_t{folderReserve});
    const bool mszip = (U16(folder + 6) & 0x000F) == 1;
    if (U16(folder + 4) > 0) order.push_back({U32(folder), U16(folder + 4), i, !(layout && mszip)});
    if (layout) layout->folders.push_back({U32(folder), U16(folder + 4), U16(folder + 6)});
  }
  if (layout) {
    layout->complete = true;
    layout->blockReserve = blockReserve;
  }
  std::sort(order.begin(), order.end(),
            [](const Folder& a, const Folder& b) { return a.first < b.first; });

  std::uint64_t announced = 0, previousEnd = 0;
  std::vector<unsigned char> block(8 + 255 + 65536);
  for (const Folder& f : order) {
    if (f.first < previousEnd) {
      return Error::Of(CAB_ERROR_INVALID_DATA, "folders " + std::to_string(f.index) +
                                              " and another share data blocks");
    }
    std::uint64_t pos = f.first;
    for (unsigned b = 0; b < f.count; ++b) {
      const size_t headLen = 8 + blockReserve;
      if (!ReadAt(fd.get(), pos, block.data(), headLen)) break;
      const std::uint32_t stored = U32(block.data());
      const unsigned len = U16(block.data() + 4);
      announced += U16(block.data() + 6);
      if (announced > uncompressedLimit) {
        return Error::Of(CAB_ERROR_TOO_LARGE,
                         "the cabinet's data blocks unpack to more than " +
                             std::to_string(uncompressedLimit) + " bytes");
      }
      // With a reserve area the checksum's coverage varies between writers.
      if (f.sums && stored != 0 && blockReserve == 0) {
        if (!ReadAt(fd.get(), pos + 8, block.data() + 8, len)) break;
#ifndef QUILLON_FUZZ_NO_CHECKSUM
        const unsigned sum = CabinetChecksum(block.data() + 8, len, 0);
        if (CabinetChecksum(block.data() + 4, 4, sum) != stored) {
          return Error::Of(CAB_ERROR_INVALID_DATA, "data block " + std::to_string(b) + " of folder " +
                                                    std::to_string(f.index) + " fails its checksum");
        }
#endif
      }
      pos += headLen + len;
    }
    previousEnd = pos;
  }
  return Error::Ok();
}

}  // namespace platform
