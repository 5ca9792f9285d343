#include "netlib/SocketStream.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "netlib/Notify.h"
#include "netlib/SocketIo.h"

namespace quillon::net {
namespace {

std::string Where(const std::string& host, int port) {
  return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + " port " +
         std::to_string(port);
}

}  // namespace

uint32_t SocketStream::Connect(int port, const char* host, int cycles, int cycleMs) {
  detail_.clear();
  if (socket_.ok()) {
    detail_ = "connect: already connected";
    return ERR_CONNECT;
  }
  const std::string hostText = host ? host : "";
  if (hostText.empty()) {
    detail_ = "connect: no host given";
    return ERR_CONNECT;
  }
  std::vector<NetAddress> addresses;
  // The name's lookup is part of the connect: within its bound, cut by an abort.
  LookupWait wait;
  if (cycles > 0 && cycleMs > 0 && cycles <= kLookupBoundMs / cycleMs) wait.boundMs = cycles * cycleMs;
  if (abort_ != nullptr) {
    wait.abort = [](void* poll) { return static_cast<AbortPoll*>(poll)->Ask(); };
    wait.context = abort_;
  }
  const platform::Error resolved = ResolveHost(hostText, port, &addresses, wait);
  if (resolved.Failed()) {
    detail_ = resolved.detail;
    return resolved.code == ERR_CANCELLED ? ERR_CANCELLED : ERR_CONNECT;
  }
  // The cycles are shared by all addresses: the whole connect stays bounded.
  int cycle = 0;
  for (const NetAddress& address : addresses) {
    const std::string where = "connect to " + Where(address.HostText(), port);
    platform::UniqueFd fd(::socket(address.Family(), SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.ok() || !SetBlocking(fd.get(), false)) {
      detail_ = where + ": " + std::strerror(errno);
      continue;
    }
    int error = 0;
    bool readable = false;
    if (::connect(fd.get(), address.Get(), address.length) == 0) {
      readable = true;
    } else if (errno != EINPROGRESS) {
      error = errno;
    } else {
      for (; cycle < cycles; ++cycle) {
        const bool cancelled = NotifyCaller(notify_, NOTIFY_CONNECTING, 0);
        if (cancelled && abort_ != nullptr) abort_->SetAborted();
        const int r = cancelled ? -1 : WaitFdReadable(fd.get(), cycleMs, abort_);
        if (cancelled || (r < 0 && Aborted())) {
          socket_ = std::move(fd);  // closed with the session
          detail_ = "cancelled by the caller while connecting";
          return ERR_CANCELLED;
        }
        if (r < 0) {
          error = errno;
          break;
        }
        if (r > 0) {
          readable = true;
          ++cycle;
          break;
        }
      }
      // Readable also when the connect was refused: the socket's error tells.
      socklen_t len = sizeof(error);
      if (readable && ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &len) != 0)
        error = errno;
    }
    if (error != 0) {
      detail_ = where + ": " + std::strerror(error);
      continue;
    }
    if (!readable) {
      detail_ = where + ": no greeting within the connect time";
      break;  // the waiting time is used up
    }
    SetBlocking(fd.get(), true);
    socket_ = std::move(fd);
    peer_ = address;
    detail_.clear();
    return 0;
  }
  return ERR_CONNECT;
}

int SocketStream::Listen(int port, const NetAddress& local) {
  if (listener_.ok()) return 1;
  platform::UniqueFd fd(::socket(local.Family(), SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.ok()) return 2;
  if (port < 0 || port > 65535) return 3;
  NetAddress at = local;
  at.SetPort(port);
  if (::bind(fd.get(), at.Get(), at.length) != 0) return 3;
  if (::listen(fd.get(), 1) != 0) return 4;
  listener_ = std::move(fd);
  return 0;
}

int SocketStream::ListeningPort() const {
  NetAddress a;
  if (!listener_.ok() || !NetAddress::OfSocket(listener_.get(), false, &a)) return -1;
  return a.Port();
}

bool SocketStream::AcceptFrom(const NetAddress& peer, int timeoutMs) {
  if (!listener_.ok()) return false;
  const Deadline deadline = Deadline::AfterMs(timeoutMs);
  for (;;) {
    const int left = deadline.WaitMs(-1);
    if (left == 0) return false;
    if (WaitFdReadable(listener_.get(), left, abort_) <= 0) return false;
    NetAddress from;
    from.length = sizeof(from.storage);
    platform::UniqueFd accepted(::accept4(listener_.get(), reinterpret_cast<sockaddr*>(&from.storage),
                                          &from.length, SOCK_CLOEXEC));
    if (!accepted.ok()) continue;
    // Only the printer may take the firmware or hand us a listing.
    if (!from.SameHost(peer)) continue;
    ShutdownAndClose(socket_);
    socket_ = std::move(accepted);
    peer_ = from;
    return true;
  }
}

long SocketStream::Send(const char* bytes, long length) {
  lastSent_ = 0;
  if (!socket_.ok() || bytes == nullptr) {
    detail_ = "send: not connected";
    return -1;
  }
  if (length <= 0) length = static_cast<long>(std::strlen(bytes));
  if (SendWithin(socket_.get(), bytes, static_cast<size_t>(length), Deadline::AfterMs(sendMs_),
                 abort_, &lastSent_))
    return length;
  detail_ = Aborted()            ? std::string("cancelled by the caller")
            : errno == ETIMEDOUT
                ? "the printer took nothing for " + std::to_string(sendMs_) + " ms"
                : std::string(std::strerror(errno));
  return -1;
}

void SocketStream::SetBulk(bool on) {
  if (!socket_.ok()) return;
  const int value = on ? 1 : 0;
  ::setsockopt(socket_.get(), IPPROTO_TCP, TCP_CORK, &value, sizeof(value));
}

bool SocketStream::LocalAddress(NetAddress* out) const {
  return socket_.ok() && NetAddress::OfSocket(socket_.get(), false, out);
}

bool SocketStream::LocalAddress(char* buffer, size_t size) const {
  if (buffer == nullptr || size == 0) return false;
  buffer[0] = '\0';
  NetAddress local;
  if (!LocalAddress(&local)) return false;
  std::snprintf(buffer, size, "%s", local.HostText().c_str());
  return true;
}

void SocketStream::Drain() {
  if (!socket_.ok()) return;
  char scratch[256];
  for (;;) {
    int pending = 0;
    if (::ioctl(socket_.get(), FIONREAD, &pending) != 0 || pending <= 0) return;
    if (::recv(socket_.get(), scratch, sizeof(scratch), MSG_DONTWAIT) <= 0) return;
  }
}

void SocketStream::CloseListener() { ShutdownAndClose(listener_); }

void SocketStream::Close() {
  ShutdownAndClose(socket_);
  ShutdownAndClose(listener_);
}

int SocketStream::WaitReadable(int timeoutMs) {
  if (!socket_.ok()) return -1;
  return WaitFdReadable(socket_.get(), timeoutMs, abort_);
}

long SocketStream::Peek(char* bytes, size_t n) {
  if (!socket_.ok()) return -1;
  ssize_t r;
  do {
    r = ::recv(socket_.get(), bytes, n, MSG_PEEK);
  } while (r < 0 && errno == EINTR);
  return static_cast<long>(r);
}

long SocketStream::Receive(char* bytes, size_t n) {
  if (!socket_.ok()) return -1;
  ssize_t r;
  do {
    r = ::recv(socket_.get(), bytes, n, 0);
  } while (r < 0 && errno == EINTR);
  return static_cast<long>(r);
}

}  // namespace quillon::net
