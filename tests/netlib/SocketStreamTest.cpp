// The data listener: reachable only at its own address, taken only by the
// expected peer; and sends to a closed peer fail instead of killing us.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "netlib/SocketStream.h"
#include "platform/UniqueFd.h"

using namespace quillon::net;
using platform::UniqueFd;

namespace {

in_addr Addr(const char* text) {
  in_addr a{};
  inet_pton(AF_INET, text, &a);
  return a;
}

// A client socket bound to `from`, connecting to `to`:port; invalid when
// the connection was refused.
NetAddress V4(const char* text) {
  NetAddress a;
  auto* sin = reinterpret_cast<sockaddr_in*>(&a.storage);
  sin->sin_family = AF_INET;
  sin->sin_addr = Addr(text);
  a.length = sizeof(sockaddr_in);
  return a;
}

UniqueFd ConnectFrom(const char* from, const char* to, int port) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr = Addr(from);
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) return UniqueFd();
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<uint16_t>(port));
  peer.sin_addr = Addr(to);
  if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&peer), sizeof(peer)) != 0) return UniqueFd();
  return fd;
}

}  // namespace

TEST(DataListener, ListensOnlyAtTheControlConnectionsAddress) {
  SocketStream data;
  ASSERT_EQ(data.Listen(0, V4("127.0.6.1")), 0);
  EXPECT_EQ(data.Listen(0, V4("127.0.6.1")), 1);  // already listening
  const int port = data.ListeningPort();
  ASSERT_GT(port, 0);
  EXPECT_FALSE(ConnectFrom("127.0.6.2", "127.0.0.1", port).ok());
  EXPECT_TRUE(ConnectFrom("127.0.6.2", "127.0.6.1", port).ok());
}

TEST(DataListener, ConnectionsFromOtherAddressesAreTurnedAway) {
  SocketStream data;
  ASSERT_EQ(data.Listen(0, V4("127.0.6.1")), 0);
  const int port = data.ListeningPort();
  UniqueFd intruder = ConnectFrom("127.0.6.3", "127.0.6.1", port);
  ASSERT_TRUE(intruder.ok());
  EXPECT_FALSE(data.AcceptFrom(V4("127.0.6.2"), 300));
  EXPECT_FALSE(data.Connected());
  char byte;
  EXPECT_LE(::recv(intruder.get(), &byte, 1, 0), 0);  // closed on it

  UniqueFd second = ConnectFrom("127.0.6.3", "127.0.6.1", port);
  UniqueFd printer = ConnectFrom("127.0.6.2", "127.0.6.1", port);
  ASSERT_TRUE(printer.ok());
  ASSERT_TRUE(data.AcceptFrom(V4("127.0.6.2"), 2000));
  EXPECT_TRUE(data.Peer().SameHost(V4("127.0.6.2")));
  EXPECT_EQ(data.Send("hello", 0), 5);
  char got[8] = {};
  EXPECT_EQ(::recv(printer.get(), got, sizeof(got), 0), 5);
  EXPECT_STREQ(got, "hello");
}

TEST(DataListener, SendToAClosedPeerFailsWithoutSignal) {
  SocketStream data;
  ASSERT_EQ(data.Listen(0, V4("127.0.6.1")), 0);
  UniqueFd printer = ConnectFrom("127.0.6.2", "127.0.6.1", data.ListeningPort());
  ASSERT_TRUE(data.AcceptFrom(V4("127.0.6.2"), 2000));
  printer.Reset();
  const std::string chunk(512, 'x');
  long last = 0;
  for (int i = 0; i < 100 && last != -1; ++i) last = data.Send(chunk.data(), 512);
  EXPECT_EQ(last, -1);
}

TEST(DataListener, ReadsWaitOnlyAsLongAsAllowed) {
  SocketStream data;
  ASSERT_EQ(data.Listen(0, V4("127.0.6.1")), 0);
  UniqueFd printer = ConnectFrom("127.0.6.2", "127.0.6.1", data.ListeningPort());
  ASSERT_TRUE(data.AcceptFrom(V4("127.0.6.2"), 2000));
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(data.WaitReadable(200), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(190));
  data.Close();
  EXPECT_FALSE(data.Connected());
  EXPECT_FALSE(data.Listening());
}
