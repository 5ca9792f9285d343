// An ipps peer that takes the connection and never answers the TLS
// handshake: the request ends at its own bound and at an abort, not at
// the handshake's 10 s libcups gives it.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/IppAttributes.h"

namespace {

using Clock = std::chrono::steady_clock;

// Listens on a loopback port and never accepts: the kernel completes the
// TCP connect, nobody says a word after it.
class SilentPeer {
 public:
  SilentPeer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 16) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      return;
    port_ = ntohs(a.sin_port);
  }
  ~SilentPeer() {
    if (fd_ >= 0) ::close(fd_);
  }
  int Port() const { return port_; }
  std::string Uri(const char* scheme) const {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_) + "/ipp/print";
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

double SecondsSince(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

}  // namespace

TEST(IppHandshake, APeerThatNeverAnswersTheHandshakeIsSilenceWithinTheBoundOfEachTry) {
  SilentPeer peer;
  ASSERT_GT(peer.Port(), 0);
  const auto begin = Clock::now();
  const platform::ipp::Reply r = platform::ipp::GetPrinterAttributes(peer.Uri("ipps"), 500, 1);
  const double took = SecondsSince(begin);
  EXPECT_LT(took, 2.5) << "two tries of 0.5 s each";
  EXPECT_GE(took, 0.9) << "the retry of a silent peer was not made";
  EXPECT_EQ(r.error.code, platform::ipp::kIppNoAnswer);
  EXPECT_NE(r.error.detail.find("TLS handshake"), std::string::npos) << r.error.detail;
  EXPECT_NE(r.error.detail.find("500 ms"), std::string::npos) << r.error.detail;

  // The plain form to the same peer keeps its bound too.
  const auto plain = Clock::now();
  const platform::ipp::Reply p = platform::ipp::GetPrinterAttributes(peer.Uri("ipp"), 500, 0);
  EXPECT_LT(SecondsSince(plain), 1.5);
  EXPECT_EQ(p.error.code, platform::ipp::kIppNoAnswer);
}

TEST(IppHandshake, AnAbortDuringTheHandshakeEndsTheRequestWithinASecond) {
  SilentPeer peer;
  ASSERT_GT(peer.Port(), 0);
  std::atomic<bool> stop{false};
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop = true;
  });
  const std::function<bool()> aborted = [&] { return stop.load(); };
  const auto begin = Clock::now();
  const platform::ipp::Reply r = platform::ipp::GetPrinterAttributes(peer.Uri("ipps"), 20000, 1, aborted);
  const double took = SecondsSince(begin);
  stopper.join();
  EXPECT_LT(took, 1.3);
  EXPECT_EQ(r.error.code, platform::ipp::kIppAborted) << r.error.detail;
}
