#include "platform/MspackSystem.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mspack.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace platform {
namespace {

// libmspack only passes the handle back to us. The decoders write a byte at
// a time, so output is gathered here and written in large blocks.
struct FdFile {
  int fd;
  std::vector<char> out;
  bool failed = false;
};
constexpr size_t kOutBlock = 1 << 20;


bool Flush(FdFile* f) {
  if (!f->out.empty()) {
    if (!WriteAll(f->fd, f->out.data(), f->out.size())) f->failed = true;
    f->out.clear();
  }
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
  auto* f = new (std::nothrow) FdFile{fd, {}, false};
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
  for (;;) {
    const ssize_t n = ::read(Of(f)->fd, buffer, static_cast<size_t>(bytes));
    if (n >= 0) return static_cast<int>(n);
    if (errno != EINTR) return -1;
  }
}

int WriteFile(mspack_file* f, void* buffer, int bytes) {
  if (!f || bytes < 0) return -1;
  FdFile* file = Of(f);
  const char* p = static_cast<const char*>(buffer);
  try {
    if (file->out.capacity() == 0) file->out.reserve(kOutBlock);
    file->out.insert(file->out.end(), p, p + bytes);
  } catch (...) {  // no exception may cross the library's C frames
    return -1;
  }
  if (file->out.size() >= kOutBlock && !Flush(file)) return -1;
  return file->failed ? -1 : bytes;
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
