// Name lookups with a resolver that never answers: the caller waits at most
// its bound, an abort returns at once, and the lookup left behind finishes
// by itself (no leak, no use of the caller's state).
#include <gtest/gtest.h>

#include <netdb.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "netlib/ConsoleQuery.h"
#include "netlib/NetAddress.h"
#include "netlib/quillon.h"
#include "platform/HostLookup.h"
#include "tests/support/TestEnv.h"

using namespace quillon::net;
using Clock = std::chrono::steady_clock;

namespace {

// A name service that holds every question until released (or 5 s), then
// says it could not answer.
std::mutex g_mutex;
std::condition_variable g_wake;
bool g_released = false;
std::atomic<int> g_started{0};
std::atomic<int> g_finished{0};

int SilentResolver(const char*, const char*, const addrinfo*, addrinfo**) {
  ++g_started;
  {
    std::unique_lock<std::mutex> lock(g_mutex);
    g_wake.wait_for(lock, std::chrono::seconds(5), [] { return g_released; });
  }
  ++g_finished;
  return EAI_AGAIN;
}

// Every name is the printer at 127.0.0.7.
int LoopbackResolver(const char*, const char* service, const addrinfo* hints, addrinfo** out) {
  ++g_started;
  addrinfo h = *hints;
  h.ai_flags |= AI_NUMERICHOST;
  const int r = ::getaddrinfo("127.0.0.7", service, &h, out);
  ++g_finished;
  return r;
}

class HostLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_released = false;
    g_started = 0;
    g_finished = 0;
  }
  void TearDown() override {
    Release();
    // The lookups left behind end before the next test replaces the resolver.
    const Clock::time_point until = Clock::now() + std::chrono::seconds(6);
    while (g_finished.load() < g_started.load() && Clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(g_finished.load(), g_started.load());
    platform::HostLookupFunction() = &::getaddrinfo;
  }
  static void Release() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_released = true;
    g_wake.notify_all();
  }
};

// An abort check that says "stop" once its time has come.
struct StopAt {
  Clock::time_point at;
  std::atomic<int> asked{0};
  static bool Check(void* self) {
    auto* s = static_cast<StopAt*>(self);
    ++s->asked;
    return Clock::now() >= s->at;
  }
};

}  // namespace

TEST_F(HostLookup, SilentNameServiceEndsAtTheBoundOrAtOnceOnAbort) {
  platform::HostLookupFunction() = &SilentResolver;
  std::vector<NetAddress> found;

  // Bounded: a failure to connect, saying which name got no answer.
  Clock::time_point start = Clock::now();
  LookupWait wait;
  wait.boundMs = 400;
  platform::Error e = ResolveHost("printer.invalid", 21, &found, wait);
  Clock::duration took = Clock::now() - start;
  EXPECT_EQ(e.code, static_cast<int>(ERR_CONNECT));
  EXPECT_NE(e.detail.find("printer.invalid"), std::string::npos) << e.detail;
  EXPECT_GE(took, std::chrono::milliseconds(350));
  EXPECT_LT(took, std::chrono::milliseconds(900));
  EXPECT_TRUE(found.empty());

  // Aborted: cancelled, well before the bound.
  StopAt stop{Clock::now() + std::chrono::milliseconds(300)};
  wait.boundMs = 8000;
  wait.abort = &StopAt::Check;
  wait.context = &stop;
  start = Clock::now();
  e = ResolveHost("printer.invalid", 21, &found, wait);
  took = Clock::now() - start;
  EXPECT_EQ(e.code, static_cast<int>(ERR_CANCELLED));
  EXPECT_LT(took, std::chrono::milliseconds(800));
  EXPECT_GE(stop.asked.load(), 2);

  // Abort and bound leave the lookups running; they end on their own.
  EXPECT_EQ(g_started.load(), 2);
  EXPECT_EQ(g_finished.load(), 0);
}

TEST_F(HostLookup, NumericAddressesNeverAskTheNameServiceAndNamesGetItsAnswer) {
  platform::HostLookupFunction() = &LoopbackResolver;
  std::vector<NetAddress> found;
  ASSERT_FALSE(ResolveHost("127.0.0.9", 23, &found).Failed());
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].HostText(), "127.0.0.9");
  EXPECT_EQ(found[0].Port(), 23);
  ASSERT_FALSE(ResolveHost("::1", 21, &found).Failed());
  EXPECT_EQ(g_started.load(), 0);

  ASSERT_FALSE(ResolveHost("printer.test", 2121, &found).Failed());
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].HostText(), "127.0.0.7");
  EXPECT_EQ(found[0].Port(), 2121);
  EXPECT_EQ(g_started.load(), 1);

  // A name the service does not know keeps the resolver's reason.
  platform::HostLookupFunction() = [](const char*, const char*, const addrinfo*, addrinfo**) {
    ++g_started;
    ++g_finished;
    return EAI_NONAME;
  };
  const platform::Error e = ResolveHost("nowhere.test", 21, &found);
  EXPECT_EQ(e.code, static_cast<int>(ERR_CONNECT));
  EXPECT_NE(e.detail.find(::gai_strerror(EAI_NONAME)), std::string::npos) << e.detail;
}

// Through the library's exports: the caller's abort also cuts the lookup
// of the printer's name.
TEST_F(HostLookup, ExportsStopDuringTheLookupWhenTheCallerAborts) {
  platform::HostLookupFunction() = &SilentResolver;
  struct Context {
    Clock::time_point at;
  } context{Clock::now() + std::chrono::milliseconds(300)};
  const QUILLON_NotifyTarget notify{
      [](void* c, unsigned int, uintptr_t, intptr_t) -> intptr_t {
        return Clock::now() >= static_cast<Context*>(c)->at ? 1 : 0;
      },
      &context};

  Clock::time_point start = Clock::now();
  PrinterInfo info{};
  EXPECT_EQ(QUILLON_GetPrinterInfoEx(&notify, "printer.invalid", &info), 0);
  EXPECT_EQ(QUILLON_GetLastError(), static_cast<uint32_t>(ERR_CANCELLED));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));

  const std::string file = quillon_test::MakeTestDir("hostlookup") + "/job.bin";
  std::FILE* f = std::fopen(file.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("job", f);
  std::fclose(f);
  context.at = Clock::now() + std::chrono::milliseconds(300);
  start = Clock::now();
  EXPECT_EQ(QUILLON_FileTransfer(&notify, "printer.invalid", "vesta0", file.c_str()),
            static_cast<int>(ERR_CANCELLED));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(g_started.load(), 2);
}
