// Peers that talk without end, trickle, stop reading or answer at odd
// lengths: every call ends in its result code within its bound, and says
// why. Also host names and IPv6 on both routes.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "netlib/ConsoleQuery.h"
#include "netlib/FileTransfer.h"
#include "netlib/SocketIo.h"
#include "netlib/quillon.h"
#include "tests/netlib/FakePeers.h"
#include "tests/support/NotifyRecorder.h"
#include "tests/support/TestEnv.h"
#include "tests/support/WaitUntil.h"

using namespace quillon::net;
using quillon_test::FakeFtp;
using quillon_test::OnePeer;
using quillon_test::SendText;
using Clock = std::chrono::steady_clock;

namespace {

// Short bounds, so each case shows within a second or two.
TransferOptions Short() {
  TransferOptions o;
  o.timeouts.readMs = 500;
  o.timeouts.replyTotalMs = 800;
  o.timeouts.listAcceptMs = 2000;
  o.timeouts.storeAcceptMs = 2000;
  o.timeouts.connectCycles = 2;
  o.timeouts.listingTotalMs = 800;
  o.timeouts.sendMs = 500;
  return o;
}

std::string JobFile(size_t size, const std::string& name = "dwnAB12.tmp") {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  const std::string path = quillon_test::MakeTestDir("peer") + "/" + name;
  EXPECT_TRUE(quillon_test::WriteFileBytes(path, bytes));
  return path;
}

struct Outcome {
  platform::Error error;
  Clock::duration took;
};

Outcome UploadTo(const std::string& host, const std::string& path,
                 const TransferOptions& options = Short(),
                 quillon_test::NotifyRecorder* recorder = nullptr, ChunkSource* source = nullptr) {
  const auto started = Clock::now();
  platform::Error e = TransferFile(recorder ? recorder->Target() : nullptr, host.c_str(),
                                   "vesta0", path.c_str(), options, source);
  return {e, Clock::now() - started};
}

std::string At(const OnePeer& peer, const std::string& host = "127.0.8.1") {
  return host + ":" + std::to_string(peer.Port());
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Many bytes of zeros, made as they are read.
class ZeroSource : public ChunkSource {
 public:
  explicit ZeroSource(int64_t size) : size_(size) {}
  bool Open() override { return true; }
  int64_t Length() const override { return size_; }
  long Read(char* bytes, size_t n) override {
    const size_t take = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), size_ - at_));
    std::memset(bytes, 0, take);
    at_ += static_cast<int64_t>(take);
    return static_cast<long>(take);
  }
  void Close() override {}

 private:
  int64_t size_;
  int64_t at_ = 0;
};

}  // namespace

TEST(FtpPeerBounds, EndlessOrTricklingRepliesEndInNoConnection) {
  struct Case {
    const char* name;
    OnePeer::Serve serve;
  };
  const Case cases[] = {
      {"endless multi-line greeting",
       [](int fd, const std::atomic<bool>& stop) {
         SendText(fd, "220-welcome\r\n");
         while (!stop && SendText(fd, "220-still the banner\r\n"))
           std::this_thread::sleep_for(std::chrono::milliseconds(2));
       }},
      {"greeting trickling without line end",
       [](int fd, const std::atomic<bool>& stop) {
         SendText(fd, "220 ");
         while (!stop && SendText(fd, "x")) std::this_thread::sleep_for(std::chrono::milliseconds(5));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OnePeer peer("127.0.8.1", c.serve);
    ASSERT_TRUE(peer.Ok());
    const Outcome o = UploadTo(At(peer), JobFile(10));
    EXPECT_EQ(o.error.code, static_cast<int>(ERR_CONNECT));
    EXPECT_TRUE(Has(o.error.detail, "greeting: no reply in time")) << o.error.detail;
    EXPECT_LT(o.took, std::chrono::seconds(3));
  }
}

TEST(FtpPeerBounds, ReplyLineOfExactly254CharactersGoesOnAtOnce) {
  FakeFtp ftp;
  ftp.greeting = "220 " + std::string(250, 'g') + "\r\n";
  ftp.cwdReply = "250 " + std::string(250, 'c') + "\r\n";
  OnePeer peer("127.0.8.1", ftp.Serve());
  TransferOptions o = Short();
  o.timeouts.readMs = 20000;  // the old fault waited this long
  o.timeouts.replyTotalMs = 20000;
  const Outcome out = UploadTo(At(peer), JobFile(3000), o);
  EXPECT_EQ(out.error.code, 0) << out.error.detail;
  EXPECT_EQ(ftp.received.size(), 3000u);
  EXPECT_LT(out.took, std::chrono::seconds(10));
}

TEST(FtpPeerBounds, EndlessListingEndsInDirectoryErrorByTimeOrSize) {
  FakeFtp ftp;
  ftp.listing = [](int data, const std::atomic<bool>& stop) {
    while (!stop && SendText(data, "-rw 1 u g 5 Jan 1 2020 again.prn\r\n")) {
    }
  };
  {
    OnePeer peer("127.0.8.1", ftp.Serve());
    TransferOptions o = Short();
    o.timeouts.listingMaxBytes = 100000;
    const Outcome out = UploadTo(At(peer), JobFile(10), o);
    EXPECT_EQ(out.error.code, static_cast<int>(ERR_DIRECTORY));
    EXPECT_TRUE(Has(out.error.detail, "LIST: listing longer than 100000 bytes")) << out.error.detail;
  }
  FakeFtp slow;
  slow.listing = [](int data, const std::atomic<bool>& stop) {
    while (!stop && SendText(data, "x")) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  };
  OnePeer peer("127.0.8.1", slow.Serve());
  const Outcome out = UploadTo(At(peer), JobFile(10));
  EXPECT_EQ(out.error.code, static_cast<int>(ERR_DIRECTORY));
  EXPECT_TRUE(Has(out.error.detail, "LIST: the listing did not end in time")) << out.error.detail;
  EXPECT_LT(out.took, std::chrono::seconds(3));
}

TEST(FtpPeerBounds, PrinterThatStopsReadingTheDataFailsTheSend) {
  FakeFtp ftp;
  ftp.store = [](int, const std::atomic<bool>& stop) {
    // Takes nothing, then gives its positive reply a little later.
    for (int i = 0; i < 30 && !stop; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  };
  OnePeer peer("127.0.8.1", ftp.Serve());
  TransferOptions o = Short();
  o.timeouts.readMs = 5000;
  o.timeouts.replyTotalMs = 5000;
  ZeroSource zeros(int64_t{256} << 20);
  const Outcome out = UploadTo(At(peer), JobFile(1), o, nullptr, &zeros);
  EXPECT_EQ(out.error.code, static_cast<int>(ERR_DATA_SEND));
  EXPECT_TRUE(Has(out.error.detail, "took nothing for 500 ms")) << out.error.detail;
  EXPECT_LT(out.took, std::chrono::seconds(5));
}

TEST(FtpPeerBounds, AbortInARunOfChunksSendsOnlyTheChunksBeforeIt) {
  // The notification with the total after chunk k answers the abort: the
  // first k chunks are on the wire, as if each had gone alone.
  for (int k : {2, 3, 200}) {
    SCOPED_TRACE(k);
    FakeFtp ftp;
    quillon_test::NotifyRecorder recorder(NOTIFY_PROGRESS, k + 1);
    {
      // The aborted upload does not wait for the printer to read its data:
      // the peer has all of it once its thread ended.
      OnePeer peer("127.0.8.1", ftp.Serve());
      const Outcome out = UploadTo(At(peer), JobFile(300 * 512 + 7), Short(), &recorder);
      EXPECT_EQ(out.error.code, static_cast<int>(ERR_CANCELLED));
    }
    EXPECT_EQ(ftp.received.size(), static_cast<size_t>(k) * 512);
    EXPECT_EQ(recorder.Count(NOTIFY_PROGRESS), k + 1);
  }
}

TEST(FtpPeerBounds, AbortWhileAPrinterTakesNoDataEndsAtOnceWithTheBytesThatWent) {
  // The printer takes nothing until the upload ended, then reads what came.
  std::atomic<bool> uploadEnded{false};
  std::atomic<size_t> arrived{0};
  FakeFtp ftp;
  ftp.store = [&](int data, const std::atomic<bool>& stop) {
    while (!uploadEnded && !stop) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    char buffer[65536];
    for (ssize_t n; (n = ::recv(data, buffer, sizeof buffer, 0)) > 0;) arrived += static_cast<size_t>(n);
  };
  OnePeer peer("127.0.8.1", ftp.Serve());
  // The caller asks for the abort at the first wait of the data's send.
  struct Caller {
    static intptr_t Proc(void* context, unsigned, uintptr_t wParam, intptr_t lParam) {
      auto* self = static_cast<Caller*>(context);
      if (wParam == NOTIFY_PROGRESS) {
        self->lastProgress = lParam;
        ++self->progress;
      }
      if (wParam == NOTIFY_WAITING && self->progress > 1) self->abort = true;
      return self->abort ? 1 : 0;
    }
    bool abort = false;
    int progress = 0;
    intptr_t lastProgress = 0;
    QUILLON_NotifyTarget target{&Caller::Proc, this};
  } caller;
  TransferOptions o = Short();
  o.timeouts.sendMs = 30000;
  ZeroSource zeros(int64_t{256} << 20);
  const std::string path = JobFile(1);
  const auto started = Clock::now();
  const platform::Error e = TransferFile(&caller.target, At(peer).c_str(), "vesta0", path.c_str(), o, &zeros);
  const auto took = Clock::now() - started;
  uploadEnded = true;
  EXPECT_EQ(e.code, static_cast<int>(ERR_CANCELLED)) << e.detail;
  EXPECT_TRUE(caller.abort);
  EXPECT_LT(took, std::chrono::seconds(3));
  // The last count the caller heard is what reached the printer, not the
  // run that was notified before the send was cut.
  EXPECT_TRUE(quillon_test::WaitUntil(
      [&] { return arrived.load() >= static_cast<size_t>(caller.lastProgress); }, 5000));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(arrived.load(), static_cast<size_t>(caller.lastProgress));
  EXPECT_GT(caller.lastProgress, 0);
}

TEST(FtpAddresses, NamesIpv6AndPortsReachTheServer) {
  const std::string path = JobFile(70000);
  struct Case {
    const char* bind;
    std::string host;  // with the port appended below
    const char* portLine;
  };
  for (const Case& c : {Case{"::1", "[::1]", "EPRT |2|::1|"}, Case{"127.0.8.2", "localhost", "PORT 127,0,0,1,"},
                        Case{"127.0.8.3", "127.0.8.3", "PORT 127,"}}) {
    SCOPED_TRACE(c.host);
    FakeFtp ftp;
    // localhost is 127.0.0.1 (and maybe ::1, refused first): listen there.
    OnePeer peer(c.host == "localhost" ? "127.0.0.1" : c.bind, ftp.Serve());
    ASSERT_TRUE(peer.Ok());
    const Outcome out = UploadTo(c.host + ":" + std::to_string(peer.Port()), path);
    EXPECT_EQ(out.error.code, 0) << out.error.detail;
    EXPECT_EQ(ftp.received, quillon_test::ReadFileBytes(path));
    EXPECT_TRUE(Has(ftp.commands, c.portLine)) << ftp.commands;
  }
  // A bare IPv6 address takes the default port; a malformed one is refused
  // before any connection, with its reason.
  TransferOptions o = Short();
  for (const char* bad : {"[::1", "::1:99999x", "host:0", "user@host", "ho st"}) {
    const Outcome out = UploadTo(bad, path, o);
    EXPECT_EQ(out.error.code, static_cast<int>(ERR_CONNECT)) << bad;
    EXPECT_TRUE(Has(out.error.detail, "malformed address")) << out.error.detail;
  }
  const Outcome unknown = UploadTo("no-such-printer.invalid", path, o);
  EXPECT_EQ(unknown.error.code, static_cast<int>(ERR_CONNECT));
  EXPECT_TRUE(Has(unknown.error.detail, "resolve no-such-printer.invalid: ")) << unknown.error.detail;
}

TEST(FtpAddresses, ParseFtpTarget) {
  FtpTarget t;
  ASSERT_FALSE(ParseFtpTarget("ftp://192.168.1.5/vesta0", &t).Failed());
  EXPECT_EQ(t.host, "192.168.1.5");
  EXPECT_EQ(t.port, 21);
  EXPECT_EQ(t.directory, "vesta0");
  ASSERT_FALSE(ParseFtpTarget("ftp://printer-a.office.lan:2121/vesta1/", &t).Failed());
  EXPECT_EQ(t.host, "printer-a.office.lan");
  EXPECT_EQ(t.port, 2121);
  EXPECT_EQ(t.directory, "vesta1");
  ASSERT_FALSE(ParseFtpTarget("FTP://[fe80::1]:21/a", &t).Failed());
  EXPECT_EQ(t.host, "fe80::1");
  EXPECT_EQ(t.directory, "a");
  for (const char* noFolder : {"ftp://host", "ftp://host/"}) {
    ASSERT_FALSE(ParseFtpTarget(noFolder, &t).Failed()) << noFolder;
    EXPECT_EQ(t.directory, "vesta0") << noFolder;  // the program's folder when none is given
  }

  struct Bad {
    const char* target;
    const char* reason;
  };
  for (const Bad b : {Bad{"http://h/x", "does not begin with ftp://"},
                      Bad{"ftp:///vesta0", "no host"},
                      Bad{"ftp://h:70000/x", "port is not 1..65535"},
                      Bad{"ftp://h:/x", "port is not 1..65535"},
                      Bad{"ftp://::1/x", "needs brackets"},
                      Bad{"ftp://[::1/x", "no closing ']'"},
                      Bad{"ftp://[nothex]/x", "not an IPv6 address"},
                      Bad{"ftp://me@h/x", "user names are not supported"},
                      Bad{"ftp://h/a\r\nDELE b", "line end in the directory"},
                      // One folder name: nothing in it may be read as a
                      // host or a path elsewhere on the server.
                      Bad{"ftp://A/B/vesta0", "holds \"/\""},
                      Bad{"ftp://[fe80::1]/a/b", "holds \"/\""},
                      Bad{"ftp://h/vesta0//", "holds \"/\""},
                      Bad{"ftp://h//", "an empty folder"},
                      Bad{"ftp://h/..", "\"..\""},
                      Bad{"ftp://h/a\x01b", "control character"}}) {
    const platform::Error e = ParseFtpTarget(b.target, &t);
    EXPECT_EQ(e.code, kErrBadAddress) << b.target;
    EXPECT_TRUE(Has(e.detail, b.reason)) << b.target << ": " << e.detail;
  }
  EXPECT_TRUE(ParseFtpTarget("ftp://h/" + std::string(250, 'd'), &t).Failed());
}

namespace {

// A console as the printer's: option offers, login, banner, prompt, the
// port status on "stat port".
void ServeConsole(int fd, const std::atomic<bool>& stop) {
  SendText(fd, std::string("\xff\xfb\x01\xff\xfd\x1f", 6) + "\r\nUser:");
  std::string line;
  auto next = [&] {
    // Telnet answers come in front of the typed line; the line is what counts.
    if (!quillon_test::ReadCommand(fd, &line, stop)) return false;
    const size_t at = line.find_last_of('\xff');
    if (at != std::string::npos) line = line.substr(std::min(line.size(), at + 2));
    return true;
  };
  if (!next()) return;
  SendText(fd, "\r\nNetwork interface RX-LN2\r\nRX-LN2> ");
  if (!next()) return;
  SendText(fd, "\r\nPort status\r\n------\r\nModel name  : RX-140\r\nVersion     : 2.10\r\nRX-LN2> ");
  char c;
  while (!stop && ::recv(fd, &c, 1, MSG_DONTWAIT) != 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

}  // namespace

TEST(ConsolePeers, QueryOverIpv6AndNamesEndsAtTheCompletePrompt) {
  for (const char* bind : {"::1", "127.0.0.1"}) {
    SCOPED_TRACE(bind);
    OnePeer peer(bind, ServeConsole);
    ASSERT_TRUE(peer.Ok());
    ConsoleOptions o;  // the full one-second wait per line
    o.port = peer.Port();
    std::string model, version;
    const auto started = Clock::now();
    const platform::Error e = Query(std::strcmp(bind, "::1") == 0 ? "::1" : "localhost", &model, &version, o);
    EXPECT_EQ(e.code, 0) << e.detail;
    EXPECT_EQ(model, "RX-140");
    EXPECT_EQ(version, "2.10");
    // Three prompts without line end; none of them waited out the second.
    EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(900));
  }
}

TEST(ConsolePeers, EndlessNegotiationAndSilenceEndWithTheirStage) {
  OnePeer negotiating("127.0.8.4", [](int fd, const std::atomic<bool>& stop) {
    while (!stop && SendText(fd, "\xff\xfd\x18")) {
      char scratch[4096];
      ::recv(fd, scratch, sizeof(scratch), MSG_DONTWAIT);
    }
  });
  ConsoleOptions o;
  o.port = negotiating.Port();
  o.waitMs = 300;
  o.dialogueMs = 1000;
  std::string model, version;
  auto started = Clock::now();
  platform::Error e = Query("127.0.8.4", &model, &version, o);
  EXPECT_EQ(e.code, static_cast<int>(ERR_NOT_PRINTER));
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(3));

  OnePeer unknown("127.0.8.4", [](int fd, const std::atomic<bool>& stop) {
    SendText(fd, "\r\nUser:");
    std::string line;
    quillon_test::ReadCommand(fd, &line, stop);
    SendText(fd, "\r\nhello\r\nXQ-900> ");
    while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  });
  o.port = unknown.Port();
  e = Query("127.0.8.4", &model, &version, o);
  EXPECT_EQ(e.code, static_cast<int>(ERR_NOT_PRINTER));
  EXPECT_EQ(e.detail, "unknown console prompt \"XQ-900> \"");

  // Refused, and unknown names: no connection, each with its stage.
  const int port = o.port;
  e = Query("127.0.8.5", &model, &version, o);
  EXPECT_EQ(e.code, static_cast<int>(ERR_CONNECT));
  EXPECT_TRUE(Has(e.detail, "console at 127.0.8.5 port " + std::to_string(port) + ": " + std::strerror(ECONNREFUSED))) << e.detail;
  e = Query("no-such-printer.invalid", &model, &version, o);
  EXPECT_EQ(e.code, static_cast<int>(ERR_CONNECT));
  EXPECT_TRUE(Has(e.detail, "resolve no-such-printer.invalid")) << e.detail;
}

TEST(SocketSends, PeerThatStopsReadingFailsTheSendAtItsDeadline) {
  std::atomic<bool> release{false};
  OnePeer peer("127.0.8.6", [&](int, const std::atomic<bool>& stop) {
    while (!stop && !release) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  });
  std::vector<NetAddress> to;
  ASSERT_FALSE(ResolveHost("127.0.8.6", peer.Port(), &to).Failed());
  platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  ASSERT_EQ(::connect(fd.get(), to[0].Get(), to[0].length), 0);
  const std::string block(1 << 20, 'z');
  const auto started = Clock::now();
  bool sent = true;
  for (int i = 0; i < 256 && sent; ++i)
    sent = SendWithin(fd.get(), block.data(), block.size(), Deadline::AfterMs(300));
  EXPECT_FALSE(sent);
  EXPECT_EQ(errno, ETIMEDOUT);
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(3));
  release = true;
}
