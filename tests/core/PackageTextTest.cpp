// Header texts in Shift-JIS or UTF-8: decoding, cuts, and line breaks.
#include <gtest/gtest.h>

#include <string>

#include "core/package/DownDocFile.h"
#include "platform/TextCodec.h"
#include "tests/support/TestEnv.h"
#include "tests/support/PackageFixtures.h"

using quillon::kDocBadFormat;

using namespace package_test;

namespace {

TEST(PackageText, ShiftJisKatakanaDecode) {
  // Half-width "ﾌﾟﾘﾝﾀ", full-width "ソフト" (whose first character ends in 0x5C).
  EXPECT_EQ(platform::ToUtf8("\xCC\xDF\xD8\xDD\xC0"), "ﾌﾟﾘﾝﾀ");
  EXPECT_EQ(platform::ToUtf8("\x83\x5C\x83\x74\x83\x67"), "ソフト");
  EXPECT_EQ(platform::ToUtf8("\x88\xEA\x8E\x9E"), "一時");
  EXPECT_EQ(platform::ToUtf8("ASCII only"), "ASCII only");
  // Never guessed: bytes that happen to be valid UTF-8 are still CP932.
  EXPECT_EQ(platform::ToUtf8("\xC3\xBD"), "ﾃｽ");
  EXPECT_EQ(platform::ToUtf8("already ｶﾀｶﾅ ソフト", platform::TextEncoding::kUtf8), "already ｶﾀｶﾅ ソフト");
  EXPECT_EQ(platform::ToUtf8("A\xFF\xC3" "B", platform::TextEncoding::kUtf8), "A\xEF\xBF\xBD\xEF\xBF\xBD" "B");
  // Bytes that are no character become U+FFFD; the rest survives.
  EXPECT_EQ(platform::ToUtf8("A\xFF" "B"), "A\xEF\xBF\xBD" "B");
  EXPECT_EQ(platform::ToUtf8("A\x83"), "A\xEF\xBF\xBD");  // cut lead byte
}

TEST(PackageText, CutsNeverSplitACharacter) {
  EXPECT_EQ(platform::CutText("AB\x83\x5C", 3), "AB");
  EXPECT_EQ(platform::CutText("AB\x83\x5C", 4), "AB\x83\x5C");
  EXPECT_EQ(platform::CutText("ABC\xCC", 4), "ABC\xCC");  // half-width: one byte
  const auto utf8 = platform::TextEncoding::kUtf8;
  EXPECT_EQ(platform::CutText("Aソ", 3, utf8), "A");     // UTF-8 text stays whole
  EXPECT_EQ(platform::CutText("Aソ", 4, utf8), "Aソ");
  EXPECT_EQ(platform::CutText("A\xFF\xFF", 2, utf8), "A\xFF");
}

TEST(PackageText, BackslashesInsideDoubleByteCharactersStay) {
  EXPECT_EQ(platform::BackslashesToSlashes("sub\\\x83\x5C\\x"), "sub/\x83\x5C/x");
  EXPECT_EQ(platform::BackslashesToSlashes("sub\\ソ\\x", platform::TextEncoding::kUtf8), "sub/ソ/x");
}

TEST(PackageText, HeaderValuesAreDecodedCutAndExpanded) {
  const std::string dir = quillon_test::MakeTestDir("txt");
  // BeginMessage "ソnext\nline ﾌﾟﾘﾝﾀ" in Shift-JIS: the bytes 0x5C 0x6E inside
  // "ソn" are no line break, the backslash-n after "next" is.
  const std::string begin = "\x83\x5C" "next\\nline \xCC\xDF\xD8\xDD\xC0";
  // 254 ASCII bytes and a double-byte character: the cut at 255 drops it.
  const std::string desc = std::string(254, 'D') + "\x83\x74";
  const std::string path = Put(dir, "J.RXF", Header({
      "FileFormat=RXF",
      "DownLoadDesc=" + desc,
      "DownLoadVersion=\x83\x6F\x81\x5B\x83\x57\x83\x87\x83\x93 1.0",
      "BeginMessage=" + begin,
      "DoneMessage=CP932 \xB6\xC0\xB6\xC5\\n\x83\x5C\x83\x74\x83\x67",
      "DownLoadPrinter=\"\x83\x76\x83\x8A\x83\x93\x83\x5E\",RX-110",
  }) + "[Printers]\r\n\xCC\xDF\xD8\xDD\xC0=4\r\n\x1A" "data");
  TDownDocFile doc(path, quillon_test::MakeTestDir("icons"));
  EXPECT_EQ(doc.BeginMessage, "ソnext\rline ﾌﾟﾘﾝﾀ");
  EXPECT_EQ(doc.DoneMessage, "CP932 ｶﾀｶﾅ\rソフト");
  EXPECT_EQ(doc.DownLoadDesc, std::string(254, 'D'));
  EXPECT_EQ(doc.DownLoadVersion, "バージョン 1.0");
  EXPECT_EQ(doc.PrinterList, (std::vector<std::string>{"プリンタ", "RX-110"}));
  ASSERT_EQ(doc.PrinterTable.size(), 1u);
  EXPECT_EQ(doc.PrinterTable[0].first, "ﾌﾟﾘﾝﾀ");
}

TEST(PackageText, HeaderTextsAreCp932UnlessTheFileCarriesAUtf8Mark) {
  const std::string dir = quillon_test::MakeTestDir("txt");
  const std::string icons = quillon_test::MakeTestDir("icons");
  const std::string body = Header({"FileFormat=RXF", "DownLoadDesc=\xC3\xBD", "DownLoadVersion=" +
                                   std::string(254, 'v') + "ソ"}) +
                           "[Printers]\r\n\xC3\xBD=4\r\n\x1A" "data";
  TDownDocFile cp932(Put(dir, "A.RXF", body), icons);
  EXPECT_EQ(cp932.DownLoadDesc, "ﾃｽ");
  ASSERT_EQ(cp932.PrinterTable.size(), 1u);
  EXPECT_EQ(cp932.PrinterTable[0].first, "ﾃｽ");
  TDownDocFile utf8(Put(dir, "B.RXF", "\xEF\xBB\xBF" + body), icons);
  EXPECT_EQ(utf8.Status, 0);
  EXPECT_EQ(utf8.DownLoadDesc, "ý");
  EXPECT_EQ(utf8.DownLoadVersion, std::string(254, 'v'));  // "ソ" is 3 bytes: cut whole
  EXPECT_EQ(utf8.PrinterTable[0].first, "ý");
}

TEST(PackageText, LongMessagesAreCutTo1024BytesTheDataListIsNot) {
  const std::string dir = quillon_test::MakeTestDir("txt");
  const std::string path = Put(dir, "L.RXF", Header({
      "FileFormat=RXF", "BeginMessage=" + std::string(2000, 'b'), "DoneMessage=" + std::string(1023, 'd') + "\\n",
      "DownLoadFile=" + std::string(300, 'f')}));
  TDownDocFile doc(path, quillon_test::MakeTestDir("icons"));
  EXPECT_EQ(doc.BeginMessage.size(), 1024u);
  // The cut comes first: the last "\" of the pair is cut off, nothing expands.
  EXPECT_EQ(doc.DoneMessage, std::string(1023, 'd') + "\\");
  // A value naming data is never cut: a cut name could be another file.
  EXPECT_EQ(doc.DownLoadFile, std::string(300, 'f'));
  EXPECT_EQ(doc.Status, kDocBadFormat);  // no such data file
  EXPECT_NE(doc.StatusDetail.find("\"" + std::string(300, 'f') + "\" is missing"), std::string::npos)
      << doc.StatusDetail;
  EXPECT_EQ(doc.DataSize, 0u);
}

}  // namespace
