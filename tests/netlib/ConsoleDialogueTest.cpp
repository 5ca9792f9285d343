// The console line reader and the query dialogue on scripted byte buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "netlib/ConsoleQuery.h"
#include "netlib/ConsoleReader.h"
#include "netlib/quillon.h"
#include "tests/support/NetDoubles.h"

using namespace quillon::net;

namespace {

struct Script {
  explicit Script(const std::string& bytes, bool sendFails = false) : console(bytes, sendFails) {}
  std::string Sent() const { return console.Sent(); }
  quillon_test::BufferConsole console;
};

std::string Iac(unsigned char command, unsigned char option) {
  return std::string{static_cast<char>(kIac), static_cast<char>(command),
                     static_cast<char>(option)};
}

}  // namespace

TEST(ConsoleLineReader, AnswersOptionRequestsAndDropsTelnetBytes) {
  Script s(Iac(kDo, 1) + Iac(kWill, 3) + "ab" + "\xff\xff" + "c" + Iac(kDont, 5) + "\r\n" +
           "next\r\n");
  char line[256] = "old";
  EXPECT_EQ(ReadConsoleLine(s.console, line, 255, 10), 0u);
  EXPECT_STREQ(line, "abc\r\n");  // IAC IAC drops both bytes
  EXPECT_EQ(s.Sent(), Iac(kWont, 1) + Iac(kDont, 3));  // DONT from the console: no answer
  EXPECT_EQ(ReadConsoleLine(s.console, line, 255, 10), 0u);
  EXPECT_STREQ(line, "next\r\n");
}

TEST(ConsoleLineReader, PromptWithoutLineEndEndsAtSilence) {
  Script s("\r\nUser:");
  char line[256] = {};
  EXPECT_EQ(ReadConsoleLine(s.console, line, 255, 10), 0u);
  EXPECT_STREQ(line, "\r\n");
  EXPECT_EQ(ReadConsoleLine(s.console, line, 255, 10), 0u);
  EXPECT_STREQ(line, "User:");
  // Nothing at all: not a printer, and the buffer keeps the last line.
  EXPECT_EQ(ReadConsoleLine(s.console, line, 255, 10), static_cast<uint32_t>(ERR_NOT_PRINTER));
  EXPECT_STREQ(line, "User:");
}

TEST(ConsoleLineReader, LongLinesAreCutAndNotCopiedWhenTooLong) {
  Script s(std::string(1500, 'x') + "\n" + std::string(254, 'y') + "\n");
  char line[256] = "kept";
  EXPECT_EQ(ReadConsoleLine(s.console, line, 255, 10), 0u);  // first 1023 characters
  EXPECT_STREQ(line, "kept");
  EXPECT_EQ(ReadConsoleLine(s.console, line, 255, 10), 0u);  // 477 more
  EXPECT_STREQ(line, "kept");
  EXPECT_EQ(ReadConsoleLine(s.console, line, 255, 10), 0u);  // 254 + LF: 255, too long
  EXPECT_STREQ(line, "kept");

  Script fits(std::string(252, 'z') + "\r\n");  // 254 characters still fit
  EXPECT_EQ(ReadConsoleLine(fits.console, line, 255, 10), 0u);
  EXPECT_EQ(std::strlen(line), 254u);
}

TEST(ConsoleLineReader, FailedAnswerEndsTheRead) {
  Script s(Iac(kDo, 24) + "text\n", /*sendFails=*/true);
  char line[256] = "old";
  EXPECT_EQ(ReadConsoleLine(s.console, line, 255, 10), static_cast<uint32_t>(ERR_NOT_PRINTER));
  EXPECT_STREQ(line, "old");
}

TEST(ConsoleQueryRules, AcceptedPrompts) {
  EXPECT_TRUE(IsAcceptedPrompt("RX-LN2> "));
  EXPECT_TRUE(IsAcceptedPrompt("RX-LN1"));
  EXPECT_TRUE(IsAcceptedPrompt("kest\r\n"));
  EXPECT_FALSE(IsAcceptedPrompt("rx-ln2> "));  // case matters
  EXPECT_FALSE(IsAcceptedPrompt("RX-LN"));
  EXPECT_FALSE(IsAcceptedPrompt(""));
  EXPECT_FALSE(IsAcceptedPrompt(" RX-LN2"));
}

TEST(ConsoleQueryRules, ValuesAfterColonBlankCutTo39Bytes) {
  EXPECT_EQ(TakeValue("Model name  : RX-140\r\n"), "RX-140");
  EXPECT_EQ(TakeValue("Model name  :RX-140\r\n"), "");  // no ": "
  EXPECT_EQ(TakeValue(("Model name  : " + std::string(50, 'M') + "\r\n").c_str()),
            std::string(39, 'M'));
  EXPECT_EQ(TakeValue("Version     : 2.10 : b\n"), "2.10 : b");
}

TEST(ConsoleQueryRules, BlanksAroundAValueAreNotPartOfIt) {
  EXPECT_EQ(TakeValue("Model name  : HALVORN KV3   \r\n"), "HALVORN KV3");
  EXPECT_EQ(TakeValue("Model name  :   HALVORN KV3\t \r"), "HALVORN KV3");
  EXPECT_EQ(TakeValue("Model name  : HALVORN KV3"), "HALVORN KV3");
  EXPECT_EQ(TakeValue("Model name  :    \r\n"), "");
  // Padding does not count against the 39 bytes, and a cut leaves no blank.
  EXPECT_EQ(TakeValue(("x: " + std::string(20, ' ') + std::string(30, 'a') + std::string(20, ' ')).c_str()),
            std::string(30, 'a'));
  EXPECT_EQ(TakeValue(("x: " + std::string(38, 'a') + " b").c_str()), std::string(38, 'a'));
}

TEST(ConsoleQueryRules, ValuesAreCutInShiftJisThenDecoded) {
  // 50 half-width kana (one byte each in Shift-JIS): 39 of them, as UTF-8.
  std::string kana;
  for (int i = 0; i < 50; ++i) kana += static_cast<char>(0xB1 + i % 10);
  std::string want;
  for (int i = 0; i < 39; ++i) want += std::string("\xEF\xBD") + static_cast<char>(0xB1 + i % 10);
  EXPECT_EQ(TakeValue(("Model name  : " + kana + "\r\n").c_str()), want);
  // 38 bytes, then a double-byte character that would end at byte 40: left out.
  const std::string cut = TakeValue(("x: " + std::string(38, 'a') + "\x83\x65\r\n").c_str());
  EXPECT_EQ(cut, std::string(38, 'a'));
  // A double-byte character that ends at byte 39 stays: 37 + 2.
  EXPECT_EQ(TakeValue(("x: " + std::string(37, 'a') + "\x83\x65").c_str()),
            std::string(37, 'a') + "\xE3\x83\x86");  // katakana TE
  // Bytes that start no character are shown as such, not dropped.
  EXPECT_EQ(TakeValue("x: A\xA0" "B"), "A\xEF\xBF\xBD" "B");
}

namespace {

std::string Dialogue(const std::string& login, const std::string& prompt,
                     const std::string& status) {
  // Line by line as the query reads them: the login prompt, the echo of
  // the login name, a banner, the prompt; the echo of the question and a
  // blank line; the answer and the prompt again.
  return Iac(kWill, 1) + Iac(kDo, 31) + "\r\n" + login + "\r\n" + "kest\r\n" +
         "Network interface\r\n" + prompt + "\r\n" + "stat port\r\n" + "\r\n" + status +
         prompt + "\r\n";
}

uint32_t RunQuery(Script& s, std::string* model, std::string* version,
                  std::string* detail = nullptr) {
  ConsoleOptions options;
  options.waitMs = 10;
  const platform::Error result = QueryConsole(s.console, model, version, options);
  if (detail) *detail = result.detail;
  return static_cast<uint32_t>(result.code);
}

}  // namespace

TEST(ConsoleQueryDialogue, TakesModelAndTheLineAfterIt) {
  Script s(Dialogue("User:", "RX-LN2> ",
                    "Port status\r\nModel name  : RX-140\r\nFirmware    : 2.10\r\nMAC : x\r\n"));
  std::string model, version;
  EXPECT_EQ(RunQuery(s, &model, &version), 0u);
  EXPECT_EQ(model, "RX-140");
  EXPECT_EQ(version, "2.10");  // by position, whatever the line's label
  const std::string sent = s.Sent();
  EXPECT_EQ(sent, Iac(kDont, 1) + Iac(kWont, 31) + "kest\r\n" + "stat port\r\n" +
                      Iac(kWill, kOptLogout));
}

TEST(ConsoleQueryDialogue, LowerCaseLoginPromptIsRecognised) {
  Script s(Dialogue("user:", "RX-LN1>", "\r\nModel name  : RX-9\r\nVer : 1\r\n"));
  std::string model, version;
  EXPECT_EQ(RunQuery(s, &model, &version), 0u);
  EXPECT_EQ(model, "RX-9");
  EXPECT_NE(s.Sent().find("kest\r\n"), std::string::npos);
}

TEST(ConsoleQueryDialogue, UnknownOrLowerCasePromptIsNotAPrinter) {
  for (const char* prompt : {"rx-ln2> ", "XQ-900> "}) {
    Script s(Dialogue("User:", prompt, "\r\nModel name  : RX-140\r\nVer : 1\r\n"));
    std::string model, version;
    EXPECT_EQ(RunQuery(s, &model, &version), static_cast<uint32_t>(ERR_NOT_PRINTER)) << prompt;
    EXPECT_EQ(model, "");
    // No question asked, but the logout offer still goes out.
    EXPECT_EQ(s.Sent().find("stat port"), std::string::npos);
    EXPECT_EQ(s.Sent().substr(s.Sent().size() - 3), Iac(kWill, kOptLogout));
  }
}

TEST(ConsoleQueryDialogue, NoModelLineLeavesBothEmpty) {
  Script s(Dialogue("User:", "RX-LN2> ", "\r\nStatus : ready\r\nMAC : 00:11\r\n"));
  std::string model, version;
  EXPECT_EQ(RunQuery(s, &model, &version), 0u);
  EXPECT_EQ(model, "");
  EXPECT_EQ(version, "");
}

TEST(ConsoleQueryDialogue, ModelLineAsTheLastLineGivesNoVersion) {
  // The console falls silent right after the model line.
  const std::string full = Dialogue("User:", "RX-LN2> ", "\r\nModel name  : RX-140\r\n");
  Script cut(full.substr(0, full.find("RX-140\r\n") + 8));
  std::string model, version;
  EXPECT_EQ(RunQuery(cut, &model, &version), 0u);
  EXPECT_EQ(model, "RX-140");
  EXPECT_EQ(version, "");
}

TEST(ConsoleQueryDialogue, NoModelLineTakesTheLastLineReadThenTheNext) {
  // The answer ends without a prompt: the search stops at the silence and
  // the last line read stands in for the model line.
  Script s(Iac(kDo, 1) + "\r\nUser:\r\n\r\nbanner\r\nRX-LN2> \r\n" + "stat port\r\n\r\n" +
           "Status      : ready\r\nMAC address : 00:11:22\r\n");
  std::string model, version;
  EXPECT_EQ(RunQuery(s, &model, &version), 0u);
  EXPECT_EQ(model, "00:11:22");
  EXPECT_EQ(version, "");  // nothing came after it
}

TEST(ConsoleQueryDialogue, AModelPaddedWithBlanksIsTheModel) {
  Script s(Dialogue("User:", "RX-LN2> ",
                    "\r\nModel name  : HALVORN KV3   \r\nVersion     : 2.10  \r\n"));
  std::string model, version;
  EXPECT_EQ(RunQuery(s, &model, &version), 0u);
  EXPECT_EQ(model, "HALVORN KV3");
  EXPECT_EQ(version, "2.10");
}

TEST(ConsoleQueryDialogue, ALongLineNeverMovesAValueOntoAnotherField) {
  struct Case {
    std::string modelLine;
    std::string versionLine;
    std::string model;
    std::string version;
  };
  const std::string v300 = "Version     : " + std::string(300, 'v');
  const std::vector<Case> cases = {
      // A version line too long for the console's line buffer: no version
      // is known, and never the model's.
      {"Model name  : RX-140", v300, "RX-140", ""},
      // The longest line the buffer held (252 characters and CR LF) still
      // gives its value, cut to 39 bytes as every value is.
      {"Model name  : RX-140", "Version     : " + std::string(238, 'v'), "RX-140", std::string(39, 'v')},
      {"Model name  : RX-140", "Version     : " + std::string(239, 'v'), "RX-140", ""},
      // Padding is no length: the version within it stands.
      {"Model name  : RX-140", "Version     : 2.10" + std::string(400, ' '), "RX-140", "2.10"},
      // A model line longer than the reader keeps: its value cut to 39,
      // and its rest is not taken for the version line.
      {"Model name  : " + std::string(1500, 'M'), "Version     : 2.10", std::string(39, 'M'), "2.10"},
      {"Model name  : RX-140" + std::string(3000, ' '), "Version     : 2.10", "RX-140", "2.10"},
      // A very long version line: its rest is not the MAC line either.
      {"Model name  : RX-140", "Version     : " + std::string(2500, 'v'), "RX-140", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.modelLine.substr(0, 30) + " / " + c.versionLine.substr(0, 30) + " (" +
                 std::to_string(c.versionLine.size()) + ")");
    Script s(Dialogue("User:", "RX-LN2> ",
                      "\r\n" + c.modelLine + "\r\n" + c.versionLine + "\r\nMAC : 00:11\r\n"));
    std::string model, version;
    EXPECT_EQ(RunQuery(s, &model, &version), 0u);
    EXPECT_EQ(model, c.model);
    EXPECT_EQ(version, c.version);
  }
}

TEST(ConsoleQueryDialogue, AnAbortedChannelEndsTheQueryAsCancelled) {
  // The channel reports the caller's abort: whatever was read is dropped.
  class Aborting : public quillon_test::BufferConsole {
   public:
    using BufferConsole::BufferConsole;
    bool Aborted() const override { return true; }
  };
  Aborting console(Dialogue("User:", "RX-LN2> ", "\r\nModel name  : RX-140\r\nVer : 1\r\n"));
  std::string model = "old", version = "old";
  ConsoleOptions options;
  options.waitMs = 10;
  const platform::Error e = QueryConsole(console, &model, &version, options);
  EXPECT_EQ(e.code, static_cast<int>(ERR_CANCELLED));
  EXPECT_EQ(model, "");
  EXPECT_EQ(version, "");
  // The console still hears the logout offer.
  EXPECT_EQ(console.Sent().substr(console.Sent().size() - 3), Iac(kWill, kOptLogout));
}

namespace {

// Records each wait the reader asks for; the bytes are all there at once.
class TimedConsole : public quillon_test::BufferConsole {
 public:
  using BufferConsole::BufferConsole;
  int WaitReadable(int timeoutMs) override {
    waits.push_back(timeoutMs);
    return BufferConsole::WaitReadable(timeoutMs);
  }
  std::vector<int> waits;
};

}  // namespace

TEST(ConsoleLineReader, CompletePromptsEndAfterAShortQuietSpell) {
  for (const char* prompt : {"User:", "user:", "RX-LN2> ", "RX-LN1>"}) {
    TimedConsole console(prompt);
    char line[256] = {};
    EXPECT_EQ(ReadConsoleLine(console, line, 255, 1000), 0u);
    EXPECT_STREQ(line, prompt);
    EXPECT_EQ(console.waits.back(), kPromptSettleMs) << prompt;
  }
  // Anything else waits the full time for its line end.
  for (const char* other : {"Password", "RX-LN2", "XQ-900> "}) {
    TimedConsole console(other);
    char line[256] = {};
    EXPECT_EQ(ReadConsoleLine(console, line, 255, 1000), 0u);
    EXPECT_EQ(console.waits.back(), 1000) << other;
  }
  // A prompt followed by more text is read on as one line.
  TimedConsole more("RX-LN2> more\r\n");
  char line[256] = {};
  EXPECT_EQ(ReadConsoleLine(more, line, 255, 1000), 0u);
  EXPECT_STREQ(line, "RX-LN2> more\r\n");
}

TEST(ConsoleLineReader, EndlessNegotiationEndsAtTheByteBound) {
  std::string endless;
  while (endless.size() < 3 * kConsoleLineMaxBytes) endless += Iac(kDo, 24);
  Script s(endless);
  char line[256] = "old";
  EXPECT_EQ(ReadConsoleLine(s.console, line, 255, 10), static_cast<uint32_t>(ERR_NOT_PRINTER));
  EXPECT_LE(s.Sent().size(), kConsoleLineMaxBytes);
}
