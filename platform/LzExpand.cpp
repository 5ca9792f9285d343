#include "platform/LzExpand.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mspack.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/MspackSystem.h"
#include "platform/UniqueFd.h"
#include "platform/UnpackLimits.h"

namespace platform {
namespace {

constexpr unsigned char kSzddSignature[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};


int CreateTarget(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
}

ssize_t ReadFull(int fd, void* buf, size_t len) {
  size_t got = 0;
  while (got < len) {
    const ssize_t n = ::read(fd, static_cast<char*>(buf) + got, len - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(got);
}


// Copies the rest of in to out: in the kernel where it can, else by blocks.
// Every block is counted against the budget (a stop request ends the copy).
bool CopyRest(int in, int out, UnpackBudget& budget) {
  constexpr size_t kBlock = size_t{8} << 20;
  for (;;) {
    if (!budget.Check()) return false;
    const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kBlock, 0);
    if (n == 0) return true;
    if (n > 0) {
      if (!budget.Write(static_cast<std::uint64_t>(n))) return false;
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
        errno == EBADF) {
      break;  // fall back to read/write from the current positions
    }
    return false;
  }
  std::vector<char> buf(1 << 20);
  for (;;) {
    const ssize_t n = ReadFull(in, buf.data(), buf.size());
    if (n < 0) return false;
    if (n == 0) return true;
    if (!budget.Write(static_cast<std::uint64_t>(n))) return false;
    if (!WriteAll(out, buf.data(), static_cast<size_t>(n))) return false;
  }
}

bool HasSignature(int fd) {
  unsigned char head[sizeof kSzddSignature];
  const ssize_t n = ::pread(fd, head, sizeof head, 0);
  return n == static_cast<ssize_t>(sizeof head) &&
         std::memcmp(head, kSzddSignature, sizeof head) == 0;
}

bool ExpandSzdd(const std::string& source, const std::string& target, UnpackBudget& budget) {
  msszdd_decompressor* lz = mspack_create_szdd_decompressor(MspackFileSystem());
  if (!lz) return false;
  bool ok = false;
  if (msszddd_header* hdr = lz->open(lz, source.c_str())) {
    const off_t expected = hdr->length;
    if (expected < 0 || static_cast<std::uint64_t>(expected) > budget.WriteLimit()) {
      budget.Write(UINT64_MAX);  // announced too large: refused before decoding
    } else if (lz->extract(lz, hdr, target.c_str()) == MSPACK_ERR_OK) {
      // The decoder stops quietly when the input runs out; a short result
      // means the file was cut.
      struct stat st;
      ok = ::stat(target.c_str(), &st) == 0 && st.st_size == expected;
    }
    lz->close(lz, hdr);
  }
  mspack_destroy_szdd_decompressor(lz);
  return ok;
}

}  // namespace

LzResult LzExpandFile(const std::string& source, const std::string& target, std::uint64_t maxBytes) {
  UniqueFd in(OpenRegularFile(source));
  if (!in.ok()) return kLzSourceFailed;
  struct stat st;
  if (::fstat(in.get(), &st) != 0) return kLzSourceFailed;
  const auto size = static_cast<std::uint64_t>(st.st_size);
  const bool compressed = HasSignature(in.get());
  // A plain file is its own size; a compressed one is checked by what its
  // header announces and by what the decoder writes.
  if (!compressed && size > maxBytes) return kLzTooLarge;
  UnpackBudget budget(maxBytes, kUnpackReadPasses * size + kUnpackReadSlack);
  UniqueFd out(CreateTarget(target));
  if (!out.ok()) return kLzTargetFailed;

  bool ok = compressed ? ExpandSzdd(source, target, budget) : CopyRest(in.get(), out.get(), budget);
  if (out.CloseChecked() != 0) ok = false;
  if (!ok) {
    ::unlink(target.c_str());
    switch (budget.Stopped()) {
      case UnpackStop::kCancelled: return kLzCancelled;
      case UnpackStop::kTooLarge: return kLzTooLarge;
      default: return kLzTargetFailed;
    }
  }
  return kLzOk;
}

}  // namespace platform
