#include <gtest/gtest.h>

#include "resources/StringTable.h"

using quillon::LoadQStr;
using quillon::LoadStr;
using quillon::ParseStringTable;

TEST(StringTable, MessagesAreByteExact) {
  // Half-width katakana "ｽﾌﾟｰﾗ" are three bytes each in UTF-8.
  EXPECT_EQ(LoadStr(4130),
            "\xEF\xBD\xBD\xEF\xBE\x8C\xEF\xBE\x9F\xEF\xBD\xB0\xEF\xBE\x97"
            "\xE3\x81\xAB\xE9\x80\x81\xE4\xBF\xA1\xE4\xB8\xAD");
  EXPECT_EQ(LoadStr(4118), "一時ﾌｧｲﾙが作成できません。");
  EXPECT_EQ(LoadStr(4128), "中断");
  EXPECT_EQ(LoadStr(4144), "ﾌﾟﾘﾝﾀ制御ｿﾌﾄｳｪｱﾃﾞｰﾀ");
  EXPECT_EQ(LoadStr(4357), "ﾃﾞｨﾚｸﾄﾘの変更に失敗しました。");
  EXPECT_EQ(LoadStr(500), "ﾌﾟﾘﾝﾀ制御ｿﾌﾄｳｪｱ(*.RXF;RX_;RXV)|*.RXF;*.RX_;*.RXV|全てのﾌｧｲﾙ(*.*)|*.*");
  // Line breaks inside texts are real line feeds.
  EXPECT_EQ(LoadStr(4354),
            "ﾒﾓﾘ不足のためﾌﾟﾘﾝﾀを取得できません。\nその他のｱﾌﾟﾘｹｰｼｮﾝを終了して、ﾒﾓﾘの空き容量を確保してください。");
  EXPECT_EQ(LoadStr(4103), "選択されているﾌﾟﾘﾝﾀﾄﾞﾗｲﾊﾞは、ﾊﾞｰｼﾞｮﾝｱｯﾌﾟ対象機種のﾄﾞﾗｲﾊﾞではありません。\n");
  // 4193 mixes full-width "ボタン" with half-width texts.
  const std::string t4193 = LoadStr(4193);
  EXPECT_NE(t4193.find("\nOKボタンを押すと、ﾃﾞｰﾀの送信を開始します。"), std::string::npos);
  EXPECT_EQ(LoadQStr(4131), QString::fromUtf8("ﾀﾞｳﾝﾛｰﾄﾞ中"));
  EXPECT_EQ(LoadStr(4108), "");
  EXPECT_EQ(LoadStr(-1), "");
  EXPECT_TRUE(LoadQStr(9999).isEmpty());
}

TEST(StringTable, AllMessagesOfTheProgramArePresent) {
  for (int id : {4101, 4102, 4103, 4104, 4105, 4106, 4107, 4113, 4114, 4115, 4116, 4117, 4118,
                 4119, 4120, 4121, 4122, 4123, 4124, 4128, 4129, 4130, 4131, 4132, 4138, 4139,
                 4144, 4160, 4177, 4178, 4179, 4193, 4194, 4352, 4353, 4354, 4355, 4356, 4357}) {
    EXPECT_FALSE(LoadStr(id).empty()) << id;
    EXPECT_EQ(LoadStr(id).find('\\'), std::string::npos) << id;
  }
}

TEST(StringTable, SeventyFiveModelRows) {
  int rows = 0;
  for (int id = 1; id <= 299; ++id) {
    const std::string row = LoadStr(id);
    if (row.empty()) continue;
    ++rows;
    EXPECT_NE(row.find('='), std::string::npos) << id;
  }
  EXPECT_EQ(rows, 75);
  EXPECT_EQ(LoadStr(1), "HALVORN Printer Driver=0");
  EXPECT_EQ(LoadStr(22), "HALVORN RX-125=2");
  EXPECT_EQ(LoadStr(82), "HALVORN CORVIA RX-D20=7,1");
  EXPECT_EQ(LoadStr(103), "HALVORN COLOR KV2 (95native)=5");
  EXPECT_EQ(LoadStr(202), "HALVORN CORVIA KV16=16,1");
  EXPECT_EQ(LoadStr(15), "");
}

TEST(StringTable, EscapesAreSoundBothWays) {
  const auto t = ParseStringTable(
      "# comment\t1\n"
      "\n"
      "7\ta\\nb\\r\\tc\r\n"
      "8\tdata \\\\n stays\n"
      "9\tlone \\ and \\x and trailing \\\n"
      "9\tsecond wins not\n"
      "x1\tbad id\n"
      "12 no tab\n"
      "10\t\n");
  EXPECT_EQ(t.size(), 4u);
  EXPECT_EQ(t.at(7), "a\nb\r\tc");
  EXPECT_EQ(t.at(8), "data \\n stays");
  EXPECT_EQ(t.at(9), "lone \\ and \\x and trailing \\");
  EXPECT_EQ(t.at(10), "");
}
