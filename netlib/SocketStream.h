#pragma once
#include <netinet/in.h>

#include <cstdint>

#include "netlib/PeekSource.h"
#include "netlib/UniqueFd.h"
#include "netlib/quillon.h"

namespace quillon::net {

// One TCP endpoint of an FTP session: the control connection, or the
// active-mode data connection with the socket that listens for it.
class SocketStream : public PeekSource {
 public:
  SocketStream() = default;
  ~SocketStream() override { Close(); }
  SocketStream(const SocketStream&) = delete;
  SocketStream& operator=(const SocketStream&) = delete;

  // Who hears NOTIFY_CONNECTING while Connect waits; null for nobody.
  void SetNotify(const QUILLON_NotifyTarget* notify) { notify_ = notify; }

  // Connects to a dotted IPv4 host without any name lookup. Waits up to
  // `cycles` times cycleMs for the server's first bytes, notifying each
  // cycle. 0, ERR_CONNECT or ERR_CANCELLED.
  uint32_t Connect(int port, const char* host, int cycles = 20, int cycleMs = 1000);

  // Listens on port at the given local address, backlog 1. 0 success,
  // 1 already listening, 2 no socket, 3 bind failed, 4 listen failed.
  int Listen(int port, const in_addr& local);

  // Waits up to timeoutMs for a connection from peer and makes it the
  // connected socket. Connections from any other address are closed and
  // the wait goes on within the same limit.
  bool AcceptFrom(const in_addr& peer, int timeoutMs);

  // One send of exactly length bytes (length <= 0: up to the NUL). The
  // length, or -1 when the system sent a different count or failed.
  long Send(const char* bytes, long length);

  // Bounds each send on the connected socket; 0 means no bound.
  void SetSendTimeout(int timeoutMs);
  // Lets the system gather the small sends of a bulk transfer into full
  // segments; whatever is held back goes out at Close.
  void SetBulk(bool on);

  // The connected socket's local address, dotted, cut to size - 1.
  bool LocalAddress(char* buffer, size_t size) const;
  bool LocalInAddr(in_addr* out) const;
  in_addr PeerInAddr() const { return peer_.sin_addr; }

  // Discards whatever input is pending right now.
  void Drain();

  // Shuts down and closes the connected and the listening socket.
  void Close();
  void CloseListener();

  bool Connected() const { return socket_.Valid(); }
  bool Listening() const { return listener_.Valid(); }
  int ListeningPort() const;

  int WaitReadable(int timeoutMs) override;
  long Peek(char* bytes, size_t n) override;
  long Receive(char* bytes, size_t n) override;

 private:
  UniqueFd socket_;
  UniqueFd listener_;
  sockaddr_in peer_{};
  int port_ = 0;
  char host_[32] = {};
  const QUILLON_NotifyTarget* notify_ = nullptr;
};

// Waits for fd to become readable (or closed/failed): 1, 0 expired, -1.
// A negative timeout waits without a limit.
int WaitFdReadable(int fd, int timeoutMs);
bool SetBlocking(int fd, bool blocking);

}  // namespace quillon::net
