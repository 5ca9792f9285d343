#include "tests/netlib/FakePeers.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "netlib/SocketIo.h"

namespace quillon_test {

OnePeer::OnePeer(const std::string& address, Serve serve) {
  std::vector<quillon::net::NetAddress> found;
  if (quillon::net::ResolveHost(address, 0, &found).Failed()) return;
  listener_.Reset(::socket(found[0].Family(), SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (::bind(listener_.get(), found[0].Get(), found[0].length) != 0 ||
      ::listen(listener_.get(), 4) != 0) {
    listener_.Reset();
    return;
  }
  quillon::net::NetAddress bound;
  quillon::net::NetAddress::OfSocket(listener_.get(), false, &bound);
  port_ = bound.Port();
  thread_ = std::thread([this, serve] {
    while (!stop_) {
      if (quillon::net::WaitFdReadable(listener_.get(), 50) <= 0) continue;
      platform::UniqueFd fd(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
      if (fd.ok()) serve(fd.get(), stop_);
      return;
    }
  });
}

OnePeer::~OnePeer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

bool SendText(int fd, const std::string& text) {
  return quillon::net::SendWithin(fd, text.data(), text.size(),
                                  quillon::net::Deadline::AfterMs(5000));
}

bool ReadCommand(int fd, std::string* line, const std::atomic<bool>& stop) {
  line->clear();
  for (;;) {
    if (stop) return false;
    const int r = quillon::net::WaitFdReadable(fd, 50);
    if (r < 0) return false;
    if (r == 0) continue;
    char c;
    if (::recv(fd, &c, 1, 0) != 1) return false;
    if (c == '\n') {
      if (!line->empty() && line->back() == '\r') line->pop_back();
      return true;
    }
    *line += c;
  }
}

platform::UniqueFd ConnectToDataPort(const std::string& command, int control) {
  std::string host;
  int port = 0;
  int h[4], p[2];
  char addr[64] = {};
  if (std::sscanf(command.c_str(), "PORT %d,%d,%d,%d,%d,%d", &h[0], &h[1], &h[2], &h[3], &p[0],
                  &p[1]) == 6) {
    host = std::to_string(h[0]) + "." + std::to_string(h[1]) + "." + std::to_string(h[2]) + "." +
           std::to_string(h[3]);
    port = p[0] * 256 + p[1];
  } else if (std::sscanf(command.c_str(), "EPRT |2|%63[^|]|%d|", addr, &port) == 2) {
    host = addr;
  } else {
    return {};
  }
  std::vector<quillon::net::NetAddress> found;
  if (quillon::net::ResolveHost(host, port, &found).Failed()) return {};
  platform::UniqueFd fd(::socket(found[0].Family(), SOCK_STREAM | SOCK_CLOEXEC, 0));
  // From the server's own address, as a printer's data connection comes.
  quillon::net::NetAddress own;
  if (!quillon::net::NetAddress::OfSocket(control, false, &own)) return {};
  own.SetPort(0);
  if (::bind(fd.get(), own.Get(), own.length) != 0) return {};
  if (::connect(fd.get(), found[0].Get(), found[0].length) != 0) return {};
  return fd;
}

OnePeer::Serve FakeFtp::Serve() {
  return [this](int fd, const std::atomic<bool>& stop) {
    if (!SendText(fd, greeting)) return;
    std::string line, dataCommand;
    while (ReadCommand(fd, &line, stop)) {
      commands += line + "\n";
      const std::string word = line.substr(0, line.find(' '));
      if (word == "USER") {
        SendText(fd, "230 logged in\r\n");
      } else if (word == "CWD") {
        SendText(fd, cwdReply);
      } else if (word == "PORT" || word == "EPRT") {
        dataCommand = line;
        SendText(fd, "200 ok\r\n");
      } else if (word == "TYPE") {
        SendText(fd, "200 binary\r\n");
      } else if (word == "LIST" || word == "STOR") {
        SendText(fd, "150 opening\r\n");
        platform::UniqueFd data = ConnectToDataPort(dataCommand, fd);
        if (!data.ok()) return;
        if (word == "LIST") {
          if (listing) listing(data.get(), stop);
          else SendText(data.get(), "-rw 1 u g 5 Jan 1 2020 old.prn\r\n");
        } else if (store) {
          store(data.get(), stop);
        } else {
          char buffer[65536];
          for (;;) {
            const ssize_t n = ::recv(data.get(), buffer, sizeof(buffer), 0);
            if (n <= 0) break;
            received.append(buffer, static_cast<size_t>(n));
          }
        }
        data.Reset();
        SendText(fd, "226 done\r\n");
      } else if (word == "Quit") {
        return;
      } else {
        SendText(fd, "502 not here\r\n");
      }
    }
  };
}

}  // namespace quillon_test
