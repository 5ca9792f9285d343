#pragma once
// libcups gives a TLS handshake at least 10 s of its own and asks no
// callback while it runs, so an ipps peer that takes the connection and
// never answers the handshake would hold the caller past its bound and
// past its abort. While a guard lives, a thread of its own watches the
// deadline and the abort and, when either comes, shuts the connection's
// socket: the handshake then fails at once.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

typedef struct _http_s http_t;

namespace platform {
namespace ipp {

class HandshakeGuard {
 public:
  using Clock = std::chrono::steady_clock;
  struct Outcome {
    bool cut = false;      // the socket was shut
    bool aborted = false;  // because of the abort (else the deadline)
  };

  // http must outlive the guard; port is the printer's, so only a socket
  // still connected to it is ever shut. abort is asked from the guard's
  // thread every slice: it must be safe to call from any thread.
  HandshakeGuard(http_t* http, int port, Clock::time_point deadline,
                 const std::function<bool()>& abort, int sliceMs = 50);
  ~HandshakeGuard();
  HandshakeGuard(const HandshakeGuard&) = delete;
  HandshakeGuard& operator=(const HandshakeGuard&) = delete;

  // Ends the watch; what it did. Call once the guarded call has returned.
  Outcome Stop();

 private:
  void Watch();

  http_t* http_;
  int port_;
  Clock::time_point deadline_;
  const std::function<bool()>& abort_;
  int sliceMs_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  Outcome outcome_;
  std::thread thread_;
};

}  // namespace ipp
}  // namespace platform
