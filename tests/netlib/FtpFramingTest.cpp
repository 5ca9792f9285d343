// FTP line and reply framing, listing layouts and the PORT line, on plain
// byte buffers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "netlib/FtpListing.h"
#include "netlib/FtpSession.h"
#include "netlib/LineReader.h"
#include "netlib/ReplyReader.h"

using namespace quillon::net;

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

TEST(FtpListingLayouts, DosLines) {
  FtpListEntry dir = ParseListLine("01-31-99  10:15AM       <DIR>          firmware", 2024);
  EXPECT_STREQ(dir.Name, "firmware");
  EXPECT_EQ(dir.Directory, 1);
  EXPECT_EQ(dir.Month, 1);
  EXPECT_EQ(dir.Day, 31);
  EXPECT_EQ(dir.Year, 1999);
  EXPECT_EQ(dir.Hour, 10);
  EXPECT_EQ(dir.Minute, 15);

  FtpListEntry file = ParseListLine("12-05-07  09:03PM              123456 job.prn", 2024);
  EXPECT_STREQ(file.Name, "job.prn");
  EXPECT_EQ(file.Directory, 0);
  EXPECT_EQ(file.Size, 123456);
  EXPECT_EQ(file.Year, 2007);  // below 70: this century
  EXPECT_EQ(file.Hour, 9);     // the PM mark is not evaluated
  EXPECT_EQ(file.Minute, 3);

  FtpListEntry bare = ParseListLine("7", 2024);  // no time field: noon
  EXPECT_EQ(bare.Hour, 12);
  EXPECT_EQ(bare.Minute, 0);
  EXPECT_STREQ(bare.Name, "");
}

TEST(FtpListingLayouts, UnixLines) {
  FtpListEntry recent =
      ParseListLine("-rw-r--r--   1 root     root       70000 dec 07 21:21 job.bin", 2031);
  EXPECT_STREQ(recent.Name, "job.bin");
  EXPECT_EQ(recent.Directory, 0);
  EXPECT_EQ(recent.Size, 70000);
  EXPECT_EQ(recent.Month, 12);  // any case
  EXPECT_EQ(recent.Day, 7);
  EXPECT_EQ(recent.Year, 2031);  // a time means this year
  EXPECT_EQ(recent.Hour, 21);
  EXPECT_EQ(recent.Minute, 21);

  FtpListEntry old = ParseListLine("drwxr-xr-x 2 u g 4096 Foo 3 2019 vesta0", 2031);
  EXPECT_EQ(old.Directory, 1);
  EXPECT_EQ(old.Month, 1);  // unknown month name
  EXPECT_EQ(old.Year, 2019);
  EXPECT_EQ(old.Hour, 0);
  EXPECT_STREQ(old.Name, "vesta0");

  const std::string longName(300, 'n');
  FtpListEntry tooLong = ParseListLine(("-rw 1 u g 1 Jan 1 2020 " + longName).c_str(), 2031);
  EXPECT_STREQ(tooLong.Name, "");  // a field longer than the name is not taken
  FtpListEntry huge = ParseListLine("-rw 1 u g 99999999999999 Jan 1 2020 x", 2031);
  EXPECT_GE(huge.Size, 0);
}

TEST(FtpListingLayouts, OnlyTheFirstTotalLineIsSkipped) {
  std::vector<FtpListEntry> entries;
  ListingBuilder builder(entries, 2024);
  builder.Add("total 12");
  builder.Add("-rw 1 u g 5 Jan 1 2020 a");
  builder.Add("TOTAL 3");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_STREQ(entries[0].Name, "a");
  EXPECT_EQ(entries[1].Directory, 0);
}
