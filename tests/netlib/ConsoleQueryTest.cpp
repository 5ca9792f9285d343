// The model query against the simulator's console.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "netlib/ConsoleQuery.h"
#include "netlib/quillon.h"
#include "tests/support/PrinterSimulator.h"

using namespace quillon::net;
using quillon_test::JsonField;
using quillon_test::PrinterSimulator;

namespace {

ConsoleOptions Quick() {
  ConsoleOptions o;
  o.waitMs = 300;
  return o;
}

struct Answer {
  uint32_t result;
  std::string model;
  std::string version;
};

Answer Ask(const PrinterSimulator& sim, const ConsoleOptions& options = Quick()) {
  Answer a;
  a.result = static_cast<uint32_t>(Query(sim.Address().c_str(), &a.model, &a.version, options).code);
  return a;
}

}  // namespace

TEST(ConsoleQuery, ExportFillsTheBlockFromTheConsole) {
  PrinterSimulator sim;
  ASSERT_TRUE(sim.Ready());
  PrinterInfo info;
  std::memset(&info, 0x55, sizeof(info));
  ASSERT_EQ(QUILLON_GetPrinterInfo(sim.Address().c_str(), &info), 1);
  EXPECT_STREQ(info.ModelName, "RX-140");
  EXPECT_STREQ(info.Version, "2.10");
  for (size_t i = std::strlen(info.ModelName); i < sizeof(info.ModelName); ++i)
    EXPECT_EQ(info.ModelName[i], 0);
  for (size_t i = std::strlen(info.Version); i < sizeof(info.Version); ++i)
    EXPECT_EQ(info.Version[i], 0);

  // The console saw the login, the question, our refusals and the logout.
  const auto sessions = sim.ConsoleSessions(1);
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(JsonField(sessions[0], "login"), "\"kest\"");
  EXPECT_EQ(JsonField(sessions[0], "commands"), "[\"stat port\"]");
  EXPECT_EQ(JsonField(sessions[0], "telnet"),
            "[[255, 254, 1], [255, 254, 3], [255, 252, 31], [255, 251, 18]]");
}

TEST(ConsoleQuery, ExportWithoutBlockOrConsole) {
  PrinterSimulator sim({"--console-port", "0"});
  ASSERT_TRUE(sim.Ready());
  EXPECT_EQ(QUILLON_GetPrinterInfo(sim.Address().c_str(), nullptr), 0);
  EXPECT_EQ(QUILLON_GetLastError(), 87u);

  PrinterInfo info;
  std::memset(&info, 0x55, sizeof(info));
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(QUILLON_GetPrinterInfo(sim.Address().c_str(), &info), 0);
  EXPECT_EQ(QUILLON_GetLastError(), static_cast<uint32_t>(ERR_CONNECT));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(23));
  char detail[200];
  QUILLON_GetLastErrorDetail(detail, sizeof(detail));
  EXPECT_EQ(std::string(detail), "console at " + sim.Address() + " port 23: " + std::strerror(ECONNREFUSED));
  EXPECT_EQ(static_cast<unsigned char>(info.ModelName[0]), 0x55u);  // untouched
  EXPECT_EQ(QUILLON_GetPrinterInfo(nullptr, &info), 0);
  EXPECT_EQ(QUILLON_GetLastError(), static_cast<uint32_t>(ERR_CONNECT));
}

TEST(ConsoleQuery, LastErrorIsPerThread) {
  EXPECT_EQ(QUILLON_GetPrinterInfo("127.0.0.1", nullptr), 0);
  uint32_t other = 1;
  std::thread([&] { other = QUILLON_GetLastError(); }).join();
  EXPECT_EQ(other, 0u);
  EXPECT_EQ(QUILLON_GetLastError(), 87u);
}

TEST(ConsoleQuery, PromptVariants) {
  struct Case {
    const char* fault;
    uint32_t result;
    const char* model;
  };
  for (const Case c : {Case{"lowercase-login", 0u, "RX-140"},
                       Case{"lowercase-prompt", ERR_NOT_PRINTER, ""},
                       Case{"unknown-prompt", ERR_NOT_PRINTER, ""},
                       Case{"long-lines", 0u, "RX-140"}, Case{"no-model", 0u, ""}}) {
    SCOPED_TRACE(c.fault);
    PrinterSimulator sim({"--console-fault", c.fault});
    ASSERT_TRUE(sim.Ready());
    const Answer a = Ask(sim);
    EXPECT_EQ(a.result, c.result);
    EXPECT_EQ(a.model, c.model);
    const auto sessions = sim.ConsoleSessions(1);
    ASSERT_EQ(sessions.size(), 1u);
    // Every session ends with the logout offer, accepted prompt or not.
    const std::string telnet = JsonField(sessions[0], "telnet");
    EXPECT_NE(telnet.find("[255, 251, 18]]"), std::string::npos) << telnet;
  }
}

TEST(ConsoleQuery, LongModelNameIsCutTo39) {
  const std::string name(50, 'M');
  PrinterSimulator sim({"--model-name", name, "--version", "V 1.02 build 7"});
  ASSERT_TRUE(sim.Ready());
  const Answer a = Ask(sim);
  EXPECT_EQ(a.result, 0u);
  EXPECT_EQ(a.model, name.substr(0, 39));
  EXPECT_EQ(a.version, "V 1.02 build 7");
}

TEST(ConsoleQuery, SilentConsoleIsNoConnectionWithinTheBound) {
  // The console takes the connection and stops before its first word until
  // released, which happens only after the query gave up.
  PrinterSimulator sim({"--hold", "CONSOLE"});
  ASSERT_TRUE(sim.Ready());
  ConsoleOptions o = Quick();
  o.connectCycles = 3;
  o.waitMs = 200;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(Ask(sim, o).result, static_cast<uint32_t>(ERR_CONNECT));
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_TRUE(sim.Held("CONSOLE"));  // connected, and the console said nothing
  EXPECT_GE(took, std::chrono::milliseconds(850));
  EXPECT_LT(took, std::chrono::seconds(3));
  sim.Release();
}

TEST(ConsoleQuery, PaddedModelAndOverlongVersionLineAgainstTheSimulator) {
  // The console pads its model with blanks: still the model.
  PrinterSimulator padded({"--model-name", "HALVORN KV3   "});
  // A version line far longer than the console's line buffer: not known,
  // and never the model line's value.
  PrinterSimulator overlong({"--model-name", "HALVORN KV3", "--version", std::string(300, '9')});
  ASSERT_TRUE(padded.Ready() && overlong.Ready());
  Answer a = Ask(padded);
  EXPECT_EQ(a.result, 0u);
  EXPECT_EQ(a.model, "HALVORN KV3");
  EXPECT_EQ(a.version, "2.10");
  a = Ask(overlong);
  EXPECT_EQ(a.result, 0u);
  EXPECT_EQ(a.model, "HALVORN KV3");
  EXPECT_EQ(a.version, "");
  // The export's block says the same.
  PrinterInfo info{};
  ASSERT_EQ(QUILLON_GetPrinterInfo(overlong.Address().c_str(), &info), 1);
  EXPECT_STREQ(info.ModelName, "HALVORN KV3");
  EXPECT_STREQ(info.Version, "");
}

namespace {

std::atomic<bool> g_abortConsole{false};
bool ConsoleAbortAsked(void*) { return g_abortConsole; }

}  // namespace

TEST(ConsoleQuery, AnAbortEndsTheQueryWithinASecondWhereverTheConsoleWaits) {
  // CONSOLE: connected, not a word yet (the connect's wait for it goes on
  // for 20 cycles of a second); LOGIN: the login name sent, no answer.
  for (const char* point : {"CONSOLE", "LOGIN", "STAT"}) {
    SCOPED_TRACE(point);
    PrinterSimulator sim({"--hold", point});
    ASSERT_TRUE(sim.Ready());
    g_abortConsole = false;
    ConsoleOptions o;  // the bounds as the program has them: seconds each
    o.abort = &ConsoleAbortAsked;
    Answer a;
    std::chrono::steady_clock::time_point ended;
    std::thread query([&] {
      a.result = static_cast<uint32_t>(Query(sim.Address().c_str(), &a.model, &a.version, o).code);
      ended = std::chrono::steady_clock::now();
    });
    const bool held = sim.WaitHeld(point);
    const auto asked = std::chrono::steady_clock::now();
    g_abortConsole = true;
    query.join();
    sim.Release();
    ASSERT_TRUE(held);
    EXPECT_LT(ended - asked, std::chrono::milliseconds(1000));
    EXPECT_EQ(a.result, static_cast<uint32_t>(ERR_CANCELLED));
    EXPECT_EQ(a.model, "");
  }
  // Without the check the same options query as before.
  PrinterSimulator sim;
  ASSERT_TRUE(sim.Ready());
  g_abortConsole = true;
  ConsoleOptions o = Quick();
  EXPECT_EQ(Ask(sim, o).model, "RX-140");
  g_abortConsole = false;
}
