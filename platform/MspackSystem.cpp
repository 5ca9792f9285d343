#include "platform/MspackSystem.h"
#include "platform/UniqueFd.h"
#include "platform/UnpackLimits.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mspack.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace platform {
namespace {

// libmspack only passes the handle back to us. The LZ decoder writes one
// byte per call, so output is gathered in a fixed block and written in large
// pieces; the block is only allocated for a file that is written to.
constexpr size_t kOutBlock = 1 << 20;
struct FdFile {
  int fd;
  std::unique_ptr<char[]> out;
  size_t used = 0;
  bool failed = false;
};

// Each block is counted against the unpack's budget before it reaches the
// disk, so a bomb stops at the limit with nothing past it written; counting
// here rather than per call keeps the LZ decoder's byte-wise writes cheap.
bool Flush(FdFile* f) {
  if (f->used > 0 && !f->failed) {
    UnpackBudget* budget = UnpackBudget::Current();
    if ((budget && !budget->Write(f->used)) || !WriteAll(f->fd, f->out.get(), f->used))
      f->failed = true;
  }
  f->used = 0;
  return !f->failed;
}
FdFile* Of(mspack_file* f) { return reinterpret_cast<FdFile*>(f); }

mspack_file* OpenFile(mspack_system*, const char* name, int mode) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case MSPACK_SYS_OPEN_READ: flags |= O_RDONLY | O_NONBLOCK; break;
    case MSPACK_SYS_OPEN_WRITE: flags |= O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW; break;
    case MSPACK_SYS_OPEN_UPDATE: flags |= O_RDWR | O_NOFOLLOW; break;
    case MSPACK_SYS_OPEN_APPEND: flags |= O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW; break;
    default: return nullptr;
  }
  const int fd = ::open(name, flags, 0644);
  if (fd < 0) return nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  if (mode == MSPACK_SYS_OPEN_READ) {
    // Non-blocking was only for the open itself.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  }
  auto* f = new (std::nothrow) FdFile{fd, nullptr, 0, false};
  if (!f) ::close(fd);
  return reinterpret_cast<mspack_file*>(f);
}

void CloseFile(mspack_file* f) {
  if (!f) return;
  Flush(Of(f));  // a failed last block shows as a short file to the caller
  ::close(Of(f)->fd);
  delete Of(f);
}

int ReadFile(mspack_file* f, void* buffer, int bytes) {
  if (!f || bytes < 0) return -1;
  UnpackBudget* budget = UnpackBudget::Current();
  for (;;) {
    const ssize_t n = ::read(Of(f)->fd, buffer, static_cast<size_t>(bytes));
    if (n >= 0) {
      // Re-reading the same blocks over and over is as costly as a bomb.
      if (budget && !budget->Read(static_cast<std::uint64_t>(n))) return -1;
      return static_cast<int>(n);
    }
    if (errno != EINTR) return -1;
  }
}

int WriteFile(mspack_file* f, void* buffer, int bytes) {
  if (!f || bytes < 0) return -1;
  FdFile* file = Of(f);
  if (file->failed) return -1;
  if (!file->out) {
    file->out.reset(new (std::nothrow) char[kOutBlock]);
    if (!file->out) return -1;
  }
  const char* p = static_cast<const char*>(buffer);
  if (bytes == 1 && file->used + 1 < kOutBlock) {
    file->out[file->used++] = *p;  // the LZ decoder's usual call
    return 1;
  }
  size_t left = static_cast<size_t>(bytes);
  while (left > 0) {
    const size_t n = std::min(left, kOutBlock - file->used);
    std::memcpy(file->out.get() + file->used, p, n);
    file->used += n;
    p += n;
    left -= n;
    if (file->used == kOutBlock && !Flush(file)) return -1;
  }
  return bytes;
}

int SeekFile(mspack_file* f, off_t offset, int mode) {
  if (!f || !Flush(Of(f))) return -1;
  int whence;
  switch (mode) {
    case MSPACK_SYS_SEEK_START: whence = SEEK_SET; break;
    case MSPACK_SYS_SEEK_CUR: whence = SEEK_CUR; break;
    case MSPACK_SYS_SEEK_END: whence = SEEK_END; break;
    default: return -1;
  }
  return ::lseek(Of(f)->fd, offset, whence) < 0 ? -1 : 0;
}

off_t TellFile(mspack_file* f) {
  if (!f || !Flush(Of(f))) return -1;
  return ::lseek(Of(f)->fd, 0, SEEK_CUR);
}

void Message(mspack_file*, const char*, ...) {}

void* Alloc(mspack_system*, size_t bytes) { return std::malloc(bytes); }
void Free(void* p) { std::free(p); }
void Copy(void* src, void* dest, size_t bytes) { std::memmove(dest, src, bytes); }

mspack_system g_system = {OpenFile, CloseFile, ReadFile, WriteFile, SeekFile, TellFile,
                          Message,  Alloc,     Free,     Copy,      nullptr};

}  // namespace

mspack_system* MspackFileSystem() { return &g_system; }

}  // namespace platform
