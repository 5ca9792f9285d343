#include "netlib/SocketIo.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace quillon::net {
namespace {

int WaitFd(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  for (;;) {
    const int r = ::poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
    if (r > 0) return 1;
    if (r == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

// The wait in slices of kAbortPollMs, asking between them.
int WaitFdCut(int fd, short events, int timeoutMs, AbortPoll* abort) {
  if (abort == nullptr) return WaitFd(fd, events, timeoutMs);
  if (abort->Aborted()) {
    errno = ECANCELED;
    return -1;
  }
  const Deadline deadline = Deadline::AfterMs(timeoutMs);
  for (;;) {
    const int r = WaitFd(fd, events, deadline.WaitMs(kAbortPollMs));
    if (r != 0) return r;
    if (deadline.Expired()) return 0;
    if (abort->Ask()) {
      errno = ECANCELED;
      return -1;
    }
  }
}

}  // namespace

int WaitFdReadable(int fd, int timeoutMs, AbortPoll* abort) {
  return WaitFdCut(fd, POLLIN, timeoutMs, abort);
}
int WaitFdWritable(int fd, int timeoutMs, AbortPoll* abort) {
  return WaitFdCut(fd, POLLOUT, timeoutMs, abort);
}

bool SetBlocking(int fd, bool blocking) {
  const int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0) return false;
  const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  return ::fcntl(fd, F_SETFL, wanted) == 0;
}

bool SendWithin(int fd, const void* bytes, std::size_t length, const Deadline& deadline,
                AbortPoll* abort, std::size_t* sent) {
  const char* start = static_cast<const char*>(bytes);
  const char* p = start;
  struct Count {
    const char*& at;
    const char* start;
    std::size_t* out;
    ~Count() {
      if (out != nullptr) *out = static_cast<std::size_t>(at - start);
    }
  } count{p, start, sent};
  while (length > 0) {
    // Never block inside send: a peer that stops reading would hold it.
    const ssize_t n = ::send(fd, p, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      p += n;
      length -= static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    const int wait = deadline.WaitMs(-1);
    if (wait == 0) {
      errno = ETIMEDOUT;
      return false;
    }
    const int r = WaitFdWritable(fd, wait, abort);
    if (r < 0) return false;
    if (r == 0) {
      errno = ETIMEDOUT;
      return false;
    }
  }
  return true;
}

void ShutdownAndClose(platform::UniqueFd& fd) {
  if (!fd.ok()) return;
  const int off = 0;  // sends whatever a bulk transfer still holds back
  ::setsockopt(fd.get(), IPPROTO_TCP, TCP_CORK, &off, sizeof(off));
  ::shutdown(fd.get(), SHUT_RDWR);
  fd.Reset();
}

}  // namespace quillon::net
