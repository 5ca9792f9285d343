#pragma once
#include <cstdint>
#include <string>

#include "netlib/AbortPoll.h"
#include "netlib/Bounds.h"
#include "netlib/NetAddress.h"
#include "netlib/PeekSource.h"
#include "netlib/quillon.h"
#include "platform/UniqueFd.h"

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
  // Asked while any wait of this stream goes on (connect, reading, accept,
  // send); an abort ends the wait as a failure, and Aborted() tells so.
  // Null: waits end only at their bounds.
  void SetAbort(AbortPoll* abort) { abort_ = abort; }
  bool Aborted() const { return abort_ != nullptr && abort_->Aborted(); }

  // Connects to host (IPv4, IPv6 or a name, tried address by address).
  // Waits up to `cycles` times cycleMs in all for the server's first bytes,
  // notifying each cycle. 0, ERR_CONNECT (Detail() tells why) or
  // ERR_CANCELLED (the notification or the abort poll asked for it).
  uint32_t Connect(int port, const char* host, int cycles = 20, int cycleMs = 1000);

  // Listens on port at the given local address (its port is ignored),
  // backlog 1. 0 success, 1 already listening, 2 no socket, 3 bind failed,
  // 4 listen failed.
  int Listen(int port, const NetAddress& local);

  // Waits up to timeoutMs for a connection from peer's host and makes it
  // the connected socket. Connections from any other address are closed
  // and the wait goes on within the same limit.
  bool AcceptFrom(const NetAddress& peer, int timeoutMs);

  // Sends exactly length bytes (length <= 0: up to the NUL) within the
  // send bound. The length, or -1 when the peer failed, closed or stopped
  // reading (Detail() tells which).
  long Send(const char* bytes, long length);

  // Bytes of the last Send that went out, all of them or (it failed) some.
  size_t LastSent() const { return lastSent_; }
  // The bound of each Send; negative means none.
  void SetSendTimeout(int timeoutMs) { sendMs_ = timeoutMs; }
  // Lets the system gather the small sends of a bulk transfer into full
  // segments; whatever is held back goes out at Close.
  void SetBulk(bool on);

  // The connected socket's local address; as text, cut to size - 1.
  bool LocalAddress(NetAddress* out) const;
  bool LocalAddress(char* buffer, size_t size) const;
  const NetAddress& Peer() const { return peer_; }
  int Fd() const { return socket_.get(); }

  // Discards whatever input is pending right now.
  void Drain();

  // Shuts down and closes the connected and the listening socket.
  void Close();
  void CloseListener();

  bool Connected() const { return socket_.ok(); }
  bool Listening() const { return listener_.ok(); }
  int ListeningPort() const;

  // The cause of the last failed Connect or Send, in words.
  const std::string& Detail() const { return detail_; }

  int WaitReadable(int timeoutMs) override;
  long Peek(char* bytes, size_t n) override;
  long Receive(char* bytes, size_t n) override;

 private:
  platform::UniqueFd socket_;
  platform::UniqueFd listener_;
  NetAddress peer_;
  const QUILLON_NotifyTarget* notify_ = nullptr;
  AbortPoll* abort_ = nullptr;
  int sendMs_ = kSendTotalMs;
  size_t lastSent_ = 0;
  std::string detail_;
};

}  // namespace quillon::net
