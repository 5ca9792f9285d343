#include "netlib/SocketStream.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "netlib/Notify.h"

namespace quillon::net {

int WaitFdReadable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  for (;;) {
    const int r = ::poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
    if (r > 0) return 1;
    if (r == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

bool SetBlocking(int fd, bool blocking) {
  const int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0) return false;
  const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  return ::fcntl(fd, F_SETFL, wanted) == 0;
}

namespace {

void ShutdownAndClose(UniqueFd& fd) {
  if (!fd.Valid()) return;
  const int off = 0;  // sends whatever a bulk transfer still holds back
  ::setsockopt(fd.Get(), IPPROTO_TCP, TCP_CORK, &off, sizeof(off));
  ::shutdown(fd.Get(), SHUT_RDWR);
  fd.Reset();
}

}  // namespace

uint32_t SocketStream::Connect(int port, const char* host, int cycles, int cycleMs) {
  if (socket_.Valid()) return ERR_CONNECT;
  port_ = port;
  std::snprintf(host_, sizeof(host_), "%s", host ? host : "");
  peer_ = sockaddr_in{};
  peer_.sin_family = AF_INET;
  peer_.sin_port = htons(static_cast<uint16_t>(port));
  if (::inet_pton(AF_INET, host_, &peer_.sin_addr) != 1) return ERR_CONNECT;

  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.Valid() || !SetBlocking(fd.Get(), false)) return ERR_CONNECT;
  if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&peer_), sizeof(peer_)) == 0) {
    SetBlocking(fd.Get(), true);
    socket_ = std::move(fd);
    return 0;
  }
  const bool failed = errno != EINPROGRESS;
  bool readable = false;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    if (NotifyCaller(notify_, NOTIFY_CONNECTING, 0)) {
      socket_ = std::move(fd);  // closed with the session
      return ERR_CANCELLED;
    }
    const int r = WaitFdReadable(fd.Get(), cycleMs);
    if (r < 0) break;
    if (r > 0) {
      readable = true;
      break;
    }
  }
  // Readable also when the connect was refused: the socket's error tells.
  int error = 0;
  socklen_t len = sizeof(error);
  if (readable && ::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
  if (!readable || failed || error != 0) return ERR_CONNECT;
  SetBlocking(fd.Get(), true);
  socket_ = std::move(fd);
  return 0;
}

int SocketStream::Listen(int port, const in_addr& local) {
  if (listener_.Valid()) return 1;
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.Valid()) return 2;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr = local;
  if (port < 0 || port > 65535 ||
      ::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0)
    return 3;
  if (::listen(fd.Get(), 1) != 0) return 4;
  listener_ = std::move(fd);
  return 0;
}

int SocketStream::ListeningPort() const {
  if (!listener_.Valid()) return -1;
  sockaddr_in addr{};
  socklen_t len = sizeof(addr);
  if (::getsockname(listener_.Get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) return -1;
  return ntohs(addr.sin_port);
}

bool SocketStream::AcceptFrom(const in_addr& peer, int timeoutMs) {
  if (!listener_.Valid()) return false;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() < 0) return false;
    if (WaitFdReadable(listener_.Get(), static_cast<int>(left.count())) <= 0) return false;
    sockaddr_in from{};
    socklen_t len = sizeof(from);
    UniqueFd accepted(
        ::accept4(listener_.Get(), reinterpret_cast<sockaddr*>(&from), &len, SOCK_CLOEXEC));
    if (!accepted.Valid()) continue;
    // Only the printer may take the firmware or hand us a listing.
    if (from.sin_family != AF_INET || from.sin_addr.s_addr != peer.s_addr) continue;
    ShutdownAndClose(socket_);
    socket_ = std::move(accepted);
    peer_ = from;
    return true;
  }
}

long SocketStream::Send(const char* bytes, long length) {
  if (!socket_.Valid() || bytes == nullptr) return -1;
  if (length <= 0) length = static_cast<long>(std::strlen(bytes));
  const ssize_t sent = ::send(socket_.Get(), bytes, static_cast<size_t>(length), MSG_NOSIGNAL);
  return sent == length ? length : -1;
}

void SocketStream::SetSendTimeout(int timeoutMs) {
  if (!socket_.Valid()) return;
  timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  ::setsockopt(socket_.Get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
}

void SocketStream::SetBulk(bool on) {
  if (!socket_.Valid()) return;
  const int value = on ? 1 : 0;
  ::setsockopt(socket_.Get(), IPPROTO_TCP, TCP_CORK, &value, sizeof(value));
}

bool SocketStream::LocalInAddr(in_addr* out) const {
  sockaddr_in addr{};
  socklen_t len = sizeof(addr);
  if (!socket_.Valid() ||
      ::getsockname(socket_.Get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
      addr.sin_family != AF_INET)
    return false;
  *out = addr.sin_addr;
  return true;
}

bool SocketStream::LocalAddress(char* buffer, size_t size) const {
  if (buffer == nullptr || size == 0) return false;
  buffer[0] = '\0';
  in_addr local{};
  char text[INET_ADDRSTRLEN] = {};
  if (!LocalInAddr(&local) || ::inet_ntop(AF_INET, &local, text, sizeof(text)) == nullptr)
    return false;
  std::snprintf(buffer, size, "%s", text);
  return true;
}

void SocketStream::Drain() {
  if (!socket_.Valid()) return;
  char scratch[256];
  for (;;) {
    int pending = 0;
    if (::ioctl(socket_.Get(), FIONREAD, &pending) != 0 || pending <= 0) return;
    if (::recv(socket_.Get(), scratch, sizeof(scratch), MSG_DONTWAIT) <= 0) return;
  }
}

void SocketStream::CloseListener() { ShutdownAndClose(listener_); }

void SocketStream::Close() {
  ShutdownAndClose(socket_);
  ShutdownAndClose(listener_);
}

int SocketStream::WaitReadable(int timeoutMs) {
  if (!socket_.Valid()) return -1;
  return WaitFdReadable(socket_.Get(), timeoutMs);
}

long SocketStream::Peek(char* bytes, size_t n) {
  if (!socket_.Valid()) return -1;
  ssize_t r;
  do {
    r = ::recv(socket_.Get(), bytes, n, MSG_PEEK);
  } while (r < 0 && errno == EINTR);
  return static_cast<long>(r);
}

long SocketStream::Receive(char* bytes, size_t n) {
  if (!socket_.Valid()) return -1;
  ssize_t r;
  do {
    r = ::recv(socket_.Get(), bytes, n, 0);
  } while (r < 0 && errno == EINTR);
  return static_cast<long>(r);
}

}  // namespace quillon::net
