// FTP line and reply framing and the PORT/EPRT lines, on plain byte
// buffers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "netlib/FtpSession.h"
#include "netlib/LineReader.h"
#include "netlib/ReplyReader.h"
#include "tests/support/NetDoubles.h"

using namespace quillon::net;
using quillon_test::BufferSource;

namespace {

std::string Line(PeekSource& source, size_t size = 256) {
  std::vector<char> buffer(size);
  const size_t n = ReadLine(source, buffer.data(), size, 0);
  return std::string(buffer.data(), n);
}

int Reply(const std::string& bytes, size_t piece = 0, std::string* last = nullptr) {
  BufferSource source(bytes, piece);
  char work[256];
  const int code = ReadReply(source, work, sizeof(work), 0);
  if (last) *last = work;
  return code;
}

}  // namespace

TEST(FtpLineReader, ConsumesUpToTheLineEndOnlyWhateverThePieces) {
  for (size_t piece : {0u, 1u, 2u, 3u, 7u}) {
    SCOPED_TRACE(piece);
    BufferSource source("220 ready\r\n331 next\r\nrest", piece);
    EXPECT_EQ(Line(source), "220 ready\r\n");
    EXPECT_EQ(source.Consumed(), 11u);
    EXPECT_EQ(Line(source), "331 next\r\n");
    EXPECT_EQ(Line(source), "rest");  // the stream ended without a line end
    EXPECT_EQ(Line(source), "");
  }
}

TEST(FtpLineReader, LongLineFillsTheBufferAndGoesOnInTheNextRead) {
  BufferSource source(std::string(20, 'a') + "\r\n");
  EXPECT_EQ(Line(source, 11), std::string(10, 'a'));
  EXPECT_EQ(Line(source, 11), std::string(10, 'a'));
  EXPECT_EQ(Line(source, 11), "\r\n");
}

TEST(FtpLineReader, LoneCarriageReturnTakesTheNextByte) {
  BufferSource source("ab\rc\r\n", 3);  // "ab\r" then "c\r\n"
  EXPECT_EQ(Line(source), "ab\rc");
}

TEST(FtpLineReader, StripLineEnd) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"220 ok\r\n", "220 ok"}, {"220 ok\n", "220 ok"}, {"220 ok\r", "220 ok"},
      {"\r", ""}, {"\n", ""}, {"\r\n", ""}, {"a\rb\r\n", "a\rb"}, {"plain", "plain"}};
  for (const auto& [in, out] : cases) {
    std::string text = in;
    StripLineEnd(text.data());
    EXPECT_EQ(std::string(text.c_str()), out) << in;
  }
}

TEST(FtpReplyReader, SingleLinesAndTheirCodes) {
  EXPECT_EQ(Reply("220 RX-LN2 FTP server ready.\r\n"), 220);
  EXPECT_EQ(Reply("120 Service ready in 5 minutes.\r\n"), 120);
  EXPECT_EQ(Reply("230 Logged in.\r\n"), 230);
  EXPECT_EQ(Reply("331 Username ok, send password.\r\n"), 331);
  EXPECT_EQ(Reply("2x0 odd\r\n"), 0);  // not three digits: no reply
  EXPECT_EQ(Reply("22\r\n"), 0);
  EXPECT_EQ(Reply(""), 0);  // closed before a reply
}

TEST(FtpReplyReader, MultiLineReplyEndsAtCodeAndBlank) {
  std::string last;
  const std::string bytes =
      "220-Welcome\r\n220still the banner\r\n220-more\r\n  220 indented\r\n220 ready\r\n"
      "331 next\r\n";
  for (size_t piece : {0u, 1u, 5u}) {
    BufferSource source(bytes, piece);
    char work[256];
    EXPECT_EQ(ReadReply(source, work, sizeof(work), 0), 220);
    EXPECT_STREQ(work, "220 ready");
    EXPECT_EQ(ReadReply(source, work, sizeof(work), 0), 331);  // nothing of it was eaten
  }
  // A reply that never ends is read to the end of the stream.
  EXPECT_EQ(Reply("226-one\r\n226-two\r\n", 0, &last), 226);
}

TEST(FtpReplyReader, OverlongReplyLineDoesNotSpillIntoTheNextReply) {
  const std::string longLine = "250 \"/" + std::string(300, 'd') + "\" is the current directory.\r\n";
  BufferSource source(longLine + "200 PORT command successful.\r\n", 64);
  char work[256];
  EXPECT_EQ(ReadReply(source, work, sizeof(work), 0), 250);
  EXPECT_EQ(std::string(work).size(), 255u);
  EXPECT_EQ(ReadReply(source, work, sizeof(work), 0), 200);
}

TEST(FtpPortLine, FormatsAddressAndPortBytes) {
  char line[64];
  ASSERT_TRUE(FormatPortLine(line, sizeof(line), "192.168.1.5", 10400));
  EXPECT_STREQ(line, "PORT 192,168,1,5,40,160\r\n");
  ASSERT_TRUE(FormatPortLine(line, sizeof(line), "127.0.4.12", 32000));
  EXPECT_STREQ(line, "PORT 127,0,4,12,125,0\r\n");
  EXPECT_FALSE(FormatPortLine(line, 10, "192.168.1.5", 10400));
}

TEST(FtpPortLine, DataPortsWrapAbove32000) {
  EXPECT_EQ(NextDataPort(10400), 10401);
  EXPECT_EQ(NextDataPort(31999), 32000);
  EXPECT_EQ(NextDataPort(32000), 10000);
  EXPECT_EQ(NextDataPort(-5), 10000);
  for (int i = 0; i < 5; ++i) {
    const int port = InitialDataPort();
    EXPECT_GE(port, 10000);
    EXPECT_LE(port, 29999);
  }
}

TEST(FtpPortLine, EprtForIpv6) {
  char line[80];
  ASSERT_TRUE(FormatEprtLine(line, sizeof(line), "::1", 10400));
  EXPECT_STREQ(line, "EPRT |2|::1|10400|\r\n");
  EXPECT_FALSE(FormatEprtLine(line, 12, "::1", 10400));
}

TEST(FtpReplyReader, LineOfExactlyTheBufferWithItsCrLfLeavesNoLoneLf) {
  // 254 characters and CR fill the 255 bytes; the LF comes in the next
  // read and must end the line, not start a new one.
  const std::string line254 = "250 " + std::string(250, 'x');
  for (size_t piece : {0u, 64u, 255u}) {
    SCOPED_TRACE(piece);
    BufferSource source(line254 + "\r\n" + "200 next\r\n", piece);
    char work[256];
    ReplyEnd end;
    EXPECT_EQ(ReadReply(source, work, sizeof(work), 0, &end), 250);
    EXPECT_EQ(end, ReplyEnd::Complete);
    EXPECT_EQ(ReadReply(source, work, sizeof(work), 0), 200);
    EXPECT_STREQ(work, "200 next");
  }
  // Alone on the connection: the reply is complete, nothing is waited for.
  BufferSource alone(line254 + "\r\n");
  char work[256];
  EXPECT_EQ(ReadReply(alone, work, sizeof(work), 0), 250);
  EXPECT_EQ(alone.Consumed(), 256u);
}

TEST(FtpReplyReader, RepliesPastTheirByteBoundAreNone) {
  std::string endless = "220-start\r\n";
  while (endless.size() < 70000) endless += "220-more of the banner\r\n";
  endless += "220 ready\r\n";
  BufferSource source(endless, 100);
  char work[256];
  ReplyEnd end;
  EXPECT_EQ(ReadReply(source, work, sizeof(work), 0, &end, kReplyTotalMs, 65536), 0);
  EXPECT_EQ(end, ReplyEnd::TooLong);
  EXPECT_LE(source.Consumed(), 65536u + 256u);  // stopped at the bound
  // A line without end is bounded the same way.
  BufferSource trickle("220 " + std::string(100000, 'y'));
  EXPECT_EQ(ReadReply(trickle, work, sizeof(work), 0, &end, kReplyTotalMs, 4096), 0);
  EXPECT_EQ(end, ReplyEnd::TooLong);
  // Within the bound the same reply reads as before.
  BufferSource fits(endless, 100);
  EXPECT_EQ(ReadReply(fits, work, sizeof(work), 0, &end, kReplyTotalMs, 1 << 20), 220);
  EXPECT_STREQ(work, "220 ready");
}
