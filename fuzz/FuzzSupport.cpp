#include "fuzz/FuzzSupport.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <ftw.h>
#include <limits.h>
#include <stdarg.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzz {
namespace {

bool g_guard = false;

void RemoveAtExit() {
  g_guard = false;
  ::nftw(Root().c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return ::remove(p); },
         16, FTW_DEPTH | FTW_PHYS);
}

// The absolute form of path as seen from dirfd (no links resolved: a name
// that climbs with ".." is judged by its letters, which is stricter).
std::string Absolute(int dirfd, const char* path) {
  if (!path) return {};
  if (path[0] == '/') return path;
  char base[PATH_MAX] = {};
  if (dirfd == AT_FDCWD) {
    if (!::getcwd(base, sizeof base)) return {};
  } else {
    const std::string link = "/proc/self/fd/" + std::to_string(dirfd);
    const ssize_t n = ::readlink(link.c_str(), base, sizeof base - 1);
    if (n <= 0) return {};
    base[n] = '\0';
  }
  return std::string(base) + "/" + path;
}

bool Inside(const std::string& abs) {
  const std::string& root = Root();
  if (abs.compare(0, root.size() + 1, root + "/") != 0) return false;
  // No ".." part may lead back out.
  return abs.find("/../") == std::string::npos &&
         (abs.size() < 3 || abs.compare(abs.size() - 3, 3, "/..") != 0);
}

void Check(int dirfd, const char* path, const char* what) {
  if (!g_guard) return;
  // The kernel's own names for open descriptors are not places.
  if (path && std::strncmp(path, "/proc/self/fd/", 14) == 0) return;
  const std::string abs = Absolute(dirfd, path);
  if (!Inside(abs)) {
    std::fprintf(stderr, "fuzz: %s outside the fuzz folder: %s\n", what, abs.c_str());
    std::abort();
  }
}

bool Writes(int flags) { return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0; }

template <typename F>
F Next(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

const std::string& Root() {
  static const std::string root = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/quillon-fuzz-XXXXXX";
    if (!::mkdtemp(tmpl.data())) std::abort();
    char real[PATH_MAX];
    if (!::realpath(tmpl.c_str(), real)) std::abort();
    const std::string r = real;
    ::mkdir((r + "/tmp").c_str(), 0700);
    ::setenv("TMPDIR", (r + "/tmp").c_str(), 1);
    return r;
  }();
  static const bool registered = (std::atexit(RemoveAtExit), true);
  (void)registered;
  return root;
}

std::string TmpDir() { return Root() + "/tmp"; }

std::string Put(const std::string& name, const uint8_t* data, size_t size) {
  const bool was = g_guard;
  g_guard = false;
  const std::string path = Root() + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || (size && std::fwrite(data, 1, size, f) != size)) std::abort();
  std::fclose(f);
  g_guard = was;
  return path;
}

std::set<std::string> Entries(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") names.insert(n);
    }
    ::closedir(d);
  }
  return names;
}

void Clear(const std::string& dir) {
  const bool was = g_guard;
  g_guard = false;
  for (const std::string& n : Entries(dir)) {
    ::nftw((dir + "/" + n).c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return ::remove(p); },
           16, FTW_DEPTH | FTW_PHYS);
  }
  g_guard = was;
}

WriteGuard::WriteGuard() {
  Root();
  g_guard = true;
}
WriteGuard::~WriteGuard() { g_guard = false; }

}  // namespace fuzz

// The C library's calls, checked and passed on.
extern "C" {

int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list ap;
    va_start(ap, flags);
    mode = static_cast<mode_t>(va_arg(ap, int));
    va_end(ap);
  }
  if (fuzz::Writes(flags)) fuzz::Check(AT_FDCWD, path, "open");
  static auto real = fuzz::Next<int (*)(const char*, int, ...)>("open");
  return real(path, flags, mode);
}
int open64(const char* path, int flags, ...) {
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list ap;
    va_start(ap, flags);
    mode = static_cast<mode_t>(va_arg(ap, int));
    va_end(ap);
  }
  if (fuzz::Writes(flags)) fuzz::Check(AT_FDCWD, path, "open");
  static auto real = fuzz::Next<int (*)(const char*, int, ...)>("open64");
  return real(path, flags, mode);
}
int openat(int dirfd, const char* path, int flags, ...) {
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list ap;
    va_start(ap, flags);
    mode = static_cast<mode_t>(va_arg(ap, int));
    va_end(ap);
  }
  if (fuzz::Writes(flags)) fuzz::Check(dirfd, path, "openat");
  static auto real = fuzz::Next<int (*)(int, const char*, int, ...)>("openat");
  return real(dirfd, path, flags, mode);
}
int creat(const char* path, mode_t mode) {
  fuzz::Check(AT_FDCWD, path, "creat");
  static auto real = fuzz::Next<int (*)(const char*, mode_t)>("creat");
  return real(path, mode);
}
FILE* fopen(const char* path, const char* mode) {
  if (mode && std::strpbrk(mode, "wa+")) fuzz::Check(AT_FDCWD, path, "fopen");
  static auto real = fuzz::Next<FILE* (*)(const char*, const char*)>("fopen");
  return real(path, mode);
}
FILE* fopen64(const char* path, const char* mode) {
  if (mode && std::strpbrk(mode, "wa+")) fuzz::Check(AT_FDCWD, path, "fopen");
  static auto real = fuzz::Next<FILE* (*)(const char*, const char*)>("fopen64");
  return real(path, mode);
}
int mkdir(const char* path, mode_t mode) {
  fuzz::Check(AT_FDCWD, path, "mkdir");
  static auto real = fuzz::Next<int (*)(const char*, mode_t)>("mkdir");
  return real(path, mode);
}
int mkdirat(int dirfd, const char* path, mode_t mode) {
  fuzz::Check(dirfd, path, "mkdirat");
  static auto real = fuzz::Next<int (*)(int, const char*, mode_t)>("mkdirat");
  return real(dirfd, path, mode);
}
int rename(const char* from, const char* to) {
  fuzz::Check(AT_FDCWD, to, "rename");
  static auto real = fuzz::Next<int (*)(const char*, const char*)>("rename");
  return real(from, to);
}
int link(const char* from, const char* to) {
  fuzz::Check(AT_FDCWD, to, "link");
  static auto real = fuzz::Next<int (*)(const char*, const char*)>("link");
  return real(from, to);
}
int linkat(int fromfd, const char* from, int tofd, const char* to, int flags) {
  fuzz::Check(tofd, to, "linkat");
  static auto real = fuzz::Next<int (*)(int, const char*, int, const char*, int)>("linkat");
  return real(fromfd, from, tofd, to, flags);
}
int symlink(const char* target, const char* path) {
  fuzz::Check(AT_FDCWD, path, "symlink");
  static auto real = fuzz::Next<int (*)(const char*, const char*)>("symlink");
  return real(target, path);
}
int mkstemp(char* tmpl) {
  fuzz::Check(AT_FDCWD, tmpl, "mkstemp");
  static auto real = fuzz::Next<int (*)(char*)>("mkstemp");
  return real(tmpl);
}
int mkstemps(char* tmpl, int suffix) {
  fuzz::Check(AT_FDCWD, tmpl, "mkstemps");
  static auto real = fuzz::Next<int (*)(char*, int)>("mkstemps");
  return real(tmpl, suffix);
}
char* mkdtemp(char* tmpl) {
  fuzz::Check(AT_FDCWD, tmpl, "mkdtemp");
  static auto real = fuzz::Next<char* (*)(char*)>("mkdtemp");
  return real(tmpl);
}

// The settings writer makes each save durable; durability of files that are
// thrown away after every input only costs the campaign its speed (a flush
// to disk per run), so it is skipped here and nowhere else.
int fsync(int) { return 0; }
int fdatasync(int) { return 0; }

}  // extern "C"
