#pragma once
// Small in-process peers that misbehave on cue: an FTP server and a
// console, each serving one connection on a thread.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "netlib/NetAddress.h"
#include "platform/UniqueFd.h"

namespace quillon_test {

// Listens at address ("127.0.8.1", "::1") on a free port and runs serve on
// the first connection. The connection is closed when serve returns; the
// destructor stops waiting and joins.
class OnePeer {
 public:
  using Serve = std::function<void(int fd, const std::atomic<bool>& stop)>;
  OnePeer(const std::string& address, Serve serve);
  ~OnePeer();
  int Port() const { return port_; }
  bool Ok() const { return listener_.ok(); }

 private:
  platform::UniqueFd listener_;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Sends all of text; false once the peer is gone.
bool SendText(int fd, const std::string& text);
// One line up to LF (without CR LF); false when the peer closed or stop.
bool ReadCommand(int fd, std::string* line, const std::atomic<bool>& stop);
// Connects to the client's announced data port ("PORT h,h,h,h,p,p" or
// "EPRT |2|addr|port|") from the address of the control connection;
// an invalid fd when the command is neither.
platform::UniqueFd ConnectToDataPort(const std::string& command, int control);

// An FTP server for one upload. Each hook may stand in for a normal
// answer: greeting, the reply to CWD, how the listing is served, and what
// happens with the file's data connection.
struct FakeFtp {
  std::string greeting = "220 ready\r\n";
  std::string cwdReply = "250 ok\r\n";
  // Serves the listing on its data connection; the default sends one line.
  std::function<void(int data, const std::atomic<bool>& stop)> listing;
  // Takes the file; the default reads it to its end into `received`.
  std::function<void(int data, const std::atomic<bool>& stop)> store;
  std::string received;
  std::string commands;  // every command line seen, each with "\n"

  OnePeer::Serve Serve();
};

}  // namespace quillon_test
