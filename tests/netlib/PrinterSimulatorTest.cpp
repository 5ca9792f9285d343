// The simulator's fleet, restart, hold and fault switches, checked at the
// socket so the checks hold whatever the library does with them.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "netlib/ConsoleQuery.h"
#include "netlib/quillon.h"
#include "tests/support/PrinterSimulator.h"
#include "tests/support/TestEnv.h"

using quillon_test::JsonField;
using quillon_test::PrinterSimulator;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kPreamble(
    "\x1b\x01@EJL\r\n@EJL SE LA = ESC/P\r\n@EJL EN LA = ESC/P\r\n\x1bz\xd0\x81", 52);

std::string FirmwareJob() {
  const std::string data(3000, 'f');
  return kPreamble + "Uf00003000,0*" + data + "Ug,1,1*";
}

class Conn {
 public:
  Conn(const std::string& address, int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~Conn() {
    if (fd_ >= 0) ::close(fd_);
  }
  Conn(const Conn&) = delete;
  Conn& operator=(const Conn&) = delete;
  bool Ok() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  // What arrives within ms, or until stop is in it, or the peer closed.
  std::string ReadFor(int ms, const std::string& stop = std::string()) {
    std::string got;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
      char buf[4096];
      const ssize_t n = ::recv(fd_, buf, sizeof(buf), 0);
      if (n <= 0) break;
      got.append(buf, static_cast<size_t>(n));
      if (!stop.empty() && got.find(stop) != std::string::npos) break;
    }
    return got;
  }
  bool Send(const std::string& text) {
    return ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
  }

 private:
  int fd_ = -1;
};

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string Version(const std::string& address, std::string* model = nullptr) {
  std::string m, v;
  quillon::net::ConsoleOptions o;
  o.waitMs = 500;
  o.connectCycles = 2;
  if (quillon::net::Query(address.c_str(), &m, &v, o).Failed()) return "-";
  if (model) *model = m;
  return v;
}

}  // namespace

TEST(PrinterSimulator, FleetServesEachAddressWithItsOwnModelAndRestarts) {
  PrinterSimulator sim(3, {"--version-after", "9.99"},
                       {{1, R"({"model": "KV3", "version": "1.00", "version_after": "1.10",
                                "restart_seconds": 2})"}});
  ASSERT_TRUE(sim.Ready());
  ASSERT_EQ(sim.Addresses().size(), 3u);
  const std::string second = sim.Addresses()[1];
  std::string model;
  EXPECT_EQ(Version(second, &model), "1.00");
  EXPECT_EQ(model, "KV3");
  EXPECT_EQ(Version(sim.Addresses()[0], &model), "2.10");
  EXPECT_EQ(model, "RX-140");

  {
    Conn raw(second, 9100);
    ASSERT_TRUE(raw.Ok());
    ASSERT_TRUE(raw.Send(FirmwareJob()));
  }
  const auto reports = sim.Reports(1);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(JsonField(reports[0], "address"), "\"" + second + "\"");
  EXPECT_NE(JsonField(reports[0], "file").find("/hosts/" + second + "/raw/"), std::string::npos);
  EXPECT_EQ(JsonField(reports[0], "verdict"), "\"ok\"");

  // Restarting: the console takes the connection and says nothing ...
  Conn console(second, 23);
  ASSERT_TRUE(console.Ok());
  EXPECT_EQ(console.ReadFor(300), "");
  console.Close();
  // ... then comes back with the new version; the others keep theirs.
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  std::string after;
  while ((after = Version(second)) != "1.10" && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(after, "1.10");
  EXPECT_EQ(Version(sim.Addresses()[2]), "2.10");

  // A job that is not a whole download restarts nothing.
  {
    Conn raw(sim.Addresses()[0], 9100);
    ASSERT_TRUE(raw.Send("plain text"));
  }
  const auto both = sim.Reports(2);
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(JsonField(both[1], "reboot"), "null");
  EXPECT_EQ(Version(sim.Addresses()[0]), "2.10");
}

TEST(PrinterSimulator, RefusesBadFleetInput) {
  const std::string dir = quillon_test::MakeTestDir("fleetbad");
  const std::string sim = std::string(QUILLON_SOURCE_DIR) + "/tools/printer_sim.py";
  ASSERT_TRUE(quillon_test::WriteFileBytes(dir + "/c.json", "{\"127.0.3.9\": {\"model\": \"X\"}}"));
  // A single point where a list belongs would hold at each of its letters.
  ASSERT_TRUE(quillon_test::WriteFileBytes(dir + "/h.json", "{\"127.0.3.1\": {\"holds\": \"CWD\"}}"));
  for (const std::string& args : std::vector<std::string>{
           "--addresses 127.0.3.5-127.0.3.1", "--addresses 127.0.3.x",
           "--addresses 127.0.3.1-2 --printer-config " + dir + "/c.json",
           "--addresses 127.0.3.1-2 --printer-config " + dir + "/h.json"}) {
    const std::string command = "/usr/bin/python3 " + sim + " --root " + dir + " " + args +
                                " --max-seconds 5 --quiet 2>" + dir + "/err";
    EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 2) << args;
    EXPECT_NE(quillon_test::ReadFileBytes(dir + "/err").find("printer_sim: "), std::string::npos);
  }
}

TEST(PrinterSimulator, HoldStopsAtThePointUntilReleased) {
  PrinterSimulator sim({"--hold", "RAW", "--hold", "STAT"});
  ASSERT_TRUE(sim.Ready());
  {
    Conn raw(sim.Address(), 9100);
    ASSERT_TRUE(raw.Send(FirmwareJob()));
  }
  ASSERT_TRUE(sim.WaitHeld("RAW"));
  EXPECT_TRUE(sim.Reports(0).empty());  // held before reading: no job yet

  Conn console(sim.Address(), 23);
  ASSERT_TRUE(console.ReadFor(3000, "User:").find("User:") != std::string::npos);
  console.Send("kest\r\n");
  ASSERT_NE(console.ReadFor(3000, "> ").find("> "), std::string::npos);
  console.Send("stat port\r\n");
  ASSERT_TRUE(sim.WaitHeld("STAT"));
  EXPECT_EQ(console.ReadFor(200).find("Model name"), std::string::npos);

  sim.Release();
  EXPECT_NE(console.ReadFor(5000, "Version").find("Model name  : RX-140"), std::string::npos);
  EXPECT_EQ(sim.Reports(1).size(), 1u);
}

TEST(PrinterSimulator, HoldKeepsTheFinalStoreReply) {
  PrinterSimulator sim({"--hold", "STOR-END"});
  ASSERT_TRUE(sim.Ready());
  const std::string path = quillon_test::MakeTestDir("hold") + "/dwnHOLD.tmp";
  ASSERT_TRUE(quillon_test::WriteFileBytes(path, FirmwareJob()));
  auto upload = std::async(std::launch::async, [&] {
    return QUILLON_FileTransfer(nullptr, sim.Address().c_str(), "vesta0", path.c_str());
  });
  ASSERT_TRUE(sim.WaitHeld("STOR-END"));
  EXPECT_EQ(sim.Reports(1).size(), 1u);  // the file is in ...
  EXPECT_EQ(upload.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  sim.Release();                          // ... the client hears so once released
  EXPECT_EQ(upload.get(), 0);
}

TEST(PrinterSimulator, FtpRepliesThatNeverEnd) {
  {
    PrinterSimulator sim({"--ftp-fault", "endless-reply"});
    ASSERT_TRUE(sim.Ready());
    Conn c(sim.Address(), 21);
    const std::string got = c.ReadFor(500);
    EXPECT_GE(Count(got, "\r\n220-"), 10u);
    EXPECT_EQ(got.find("\r\n220 "), std::string::npos);
  }
  {
    PrinterSimulator sim({"--ftp-fault", "trickle"});
    ASSERT_TRUE(sim.Ready());
    Conn c(sim.Address(), 21);
    const std::string got = c.ReadFor(700);
    EXPECT_GE(got.size(), 3u);
    EXPECT_LT(got.size(), 20u);
    EXPECT_EQ(got.find('\n'), std::string::npos);
  }
  {
    // Asked for at a command instead: a normal greeting first.
    PrinterSimulator sim({"--ftp-fault", "endless-reply", "--fault-at", "USER"});
    ASSERT_TRUE(sim.Ready());
    Conn c(sim.Address(), 21);
    EXPECT_EQ(c.ReadFor(3000, "\r\n").rfind("220 ", 0), 0u);
    c.Send("USER \r\n");
    EXPECT_GE(Count(c.ReadFor(500), "220-"), 10u);
  }
}

TEST(PrinterSimulator, FtpListingThatNeverEnds) {
  PrinterSimulator sim({"--ftp-fault", "endless-list"});
  ASSERT_TRUE(sim.Ready());
  // Our end of the active-mode data connection.
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  ::inet_pton(AF_INET, "127.0.0.1", &sa.sin_addr);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)), 0);
  ASSERT_EQ(::listen(listener, 1), 0);
  socklen_t len = sizeof(sa);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &len);
  const int port = ntohs(sa.sin_port);

  Conn c(sim.Address(), 21);
  ASSERT_EQ(c.ReadFor(3000, "\r\n").rfind("220 ", 0), 0u);
  for (const std::string command : {"USER ", "PASS ", "CWD vesta0"}) {
    c.Send(command + "\r\n");
    const std::string reply = c.ReadFor(3000, "\r\n");
    ASSERT_TRUE(reply[0] == '2' || reply[0] == '3') << command << ": " << reply;
  }
  c.Send("PORT 127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256) +
         "\r\n");
  ASSERT_EQ(c.ReadFor(3000, "\r\n").rfind("200", 0), 0u);
  c.Send("LIST\r\n");
  pollfd p{listener, POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 3000), 1);
  const int data = ::accept(listener, nullptr, nullptr);
  ::close(listener);
  ASSERT_GE(data, 0);
  size_t total = 0;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  char buf[65536];
  while (total < 4u << 20 && Clock::now() < deadline) {
    const ssize_t n = ::recv(data, buf, sizeof(buf), 0);
    if (n <= 0) break;
    total += static_cast<size_t>(n);
  }
  ::close(data);
  EXPECT_GE(total, 4u << 20);  // and still going
}

TEST(PrinterSimulator, ConsoleNegotiatesWithoutEnd) {
  PrinterSimulator sim({"--console-fault", "endless-negotiation"});
  ASSERT_TRUE(sim.Ready());
  Conn c(sim.Address(), 23);
  const std::string got = c.ReadFor(600);
  EXPECT_GE(Count(got, "\xff"), 200u);
  EXPECT_EQ(got.find("User:"), std::string::npos);
}

TEST(PrinterSimulator, ConsoleThatStopsReadingBlocksTheClientsSends) {
  PrinterSimulator sim({"--console-fault", "stop-reading"});
  ASSERT_TRUE(sim.Ready());
  Conn c(sim.Address(), 23);
  ASSERT_NE(c.ReadFor(3000, "User:").find("User:"), std::string::npos);
  ASSERT_TRUE(c.Send("kest\r\n"));
  ::fcntl(c.Fd(), F_SETFL, ::fcntl(c.Fd(), F_GETFL) | O_NONBLOCK);
  // Answer every offer, as a client does, until our sends would block.
  const std::string answers(3 * 1024, '\xfc');
  bool blocked = false;
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (!blocked && Clock::now() < deadline) {
    c.ReadFor(5);
    const ssize_t n = ::send(c.Fd(), answers.data(), answers.size(), MSG_NOSIGNAL);
    blocked = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    ASSERT_TRUE(n >= 0 || blocked) << std::strerror(errno);
  }
  EXPECT_TRUE(blocked);
}
