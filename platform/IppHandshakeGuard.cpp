#include "platform/IppHandshakeGuard.h"

#include <arpa/inet.h>
#include <cups/cups.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace platform {
namespace ipp {
namespace {

// Only a socket still connected to the printer's port is shut: libcups may
// have closed its own by then, and the number may be another socket's.
bool ConnectedToPort(int fd, int port) {
  sockaddr_storage peer{};
  socklen_t len = sizeof peer;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) != 0) return false;
  if (peer.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&peer)->sin_port) == port;
  if (peer.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&peer)->sin6_port) == port;
  return false;
}

}  // namespace

HandshakeGuard::HandshakeGuard(http_t* http, int port, Clock::time_point deadline,
                               const std::function<bool()>& abort, int sliceMs)
    : http_(http), port_(port), deadline_(deadline), abort_(abort), sliceMs_(sliceMs),
      thread_([this] { Watch(); }) {}

HandshakeGuard::~HandshakeGuard() { Stop(); }

HandshakeGuard::Outcome HandshakeGuard::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  return outcome_;
}

void HandshakeGuard::Watch() {
  std::unique_lock<std::mutex> lock(mutex_);
  bool due = false;
  while (!wake_.wait_for(lock, std::chrono::milliseconds(sliceMs_), [this] { return done_; })) {
    if (!due) {
      outcome_.aborted = abort_ && abort_();
      due = outcome_.aborted || Clock::now() >= deadline_;
    }
    if (!due) continue;
    // Until the call returns (done_ is then set under this lock, so the
    // connection is not closed under us), a socket that appears is shut.
    const int fd = httpGetFd(http_);
    if (fd >= 0 && ConnectedToPort(fd, port_)) {
      ::shutdown(fd, SHUT_RDWR);
      outcome_.cut = true;
      return;
    }
  }
}

}  // namespace ipp
}  // namespace platform
