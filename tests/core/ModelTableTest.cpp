#include <gtest/gtest.h>

#include "core/app/ModelTable.h"
#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"
#include "platform/ProfileFile.h"
#include "resources/StringTable.h"
#include "tests/support/TestEnv.h"

using quillon::FieldText;
using quillon::IsDetailInitModel;
using quillon::LoadModelTable;
using quillon::LoadStr;
using quillon::MakeModelEntry;
using quillon::MergePackageModels;
using quillon::SeedModelTable;
using quillon::SetField;

using quillon_test::MakeTestDir;
using quillon_test::ReadFileBytes;
using quillon_test::WriteFileBytes;

namespace {

std::string IniWith(const std::string& text) {
  const std::string path = MakeTestDir("mt") + "/QUILLON.INI";
  if (!text.empty()) WriteFileBytes(path, text);
  return path;
}

TPrinterEntry EntryFor(const std::string& driver) {
  TPrinterEntry e{};
  SetField(e.Driver, driver);
  return e;
}

}  // namespace

TEST(ModelTable, SeedingAnEmptyFileWritesAllRowsInIdOrderInOneWrite) {
  const std::string path = IniWith("");
  TDLPrinterList list;
  {
    platform::ProfileFile ini(path);
    // The 75 rows are gathered in memory: the file is written once, by the
    // load, not once per row.
    SeedModelTable(ini);
    EXPECT_TRUE(ini.Dirty());
    EXPECT_EQ(quillon_test::ReadFileBytes(path), "");
    LoadModelTable(ini, list);
    EXPECT_FALSE(ini.Dirty());
  }
  ASSERT_EQ(list.Count(), 75u);
  size_t k = 0;
  for (int id = 1; id <= 299; ++id) {
    const std::string row = LoadStr(id);
    if (row.empty()) continue;
    EXPECT_EQ(FieldText(list.Item(k)->Name), row.substr(0, row.find('='))) << id;
    ++k;
  }
  EXPECT_STREQ(list.Item(0)->Name, "HALVORN Printer Driver");
  EXPECT_EQ(list.Item(0)->Code, 0);
  EXPECT_EQ(list.Item(75), nullptr);
  const TModelEntry* kv16 = list.Item(list.IndexOf("HALVORN CORVIA KV16"));
  EXPECT_STREQ(kv16->CodeText, "16");
  EXPECT_EQ(kv16->Code, 16);
  EXPECT_EQ(kv16->Flag, 1);
}

TEST(ModelTable, HandEditsStayAndDeletedRowsComeBack) {
  const std::string path = IniWith("[Printers]\nRX-110=3\nMy Own=42\nHALVORN RX-120=\n");
  TDLPrinterList list;
  platform::ProfileFile ini(path);
  LoadModelTable(ini, list);
  EXPECT_EQ(list.Count(), 76u);
  // File order: hand rows first, then the missing built-in rows.
  EXPECT_STREQ(list.Item(0)->Name, "RX-110");
  EXPECT_EQ(list.Item(0)->Code, 3);
  EXPECT_STREQ(list.Item(1)->Name, "My Own");
  EXPECT_STREQ(list.Item(2)->Name, "HALVORN RX-120");
  EXPECT_EQ(list.Item(2)->Code, 2);  // an empty value counts as missing
  EXPECT_STREQ(list.Item(3)->Name, "HALVORN Printer Driver");
  // Rows already right are not written again.
  platform::ProfileFile again(path);
  SeedModelTable(again);
  EXPECT_FALSE(again.Dirty());
}

TEST(ModelTable, ValuesAreSplitLikeATokenizer) {
  struct Case {
    const char* value;
    const char* codeText;
    int code, flag;
  } cases[] = {
      {"7,1", "7", 7, 1},     {"7,2", "7", 7, 0},   {"7", "7", 7, 0},
      {",,7,,1", "7", 7, 1},  {"", "", 0, 0},       {"printer.ico", "printer.ico", 0, 0},
      {"12,01", "12", 12, 1}, {"3, 1", "3", 3, 1},  {"x,1", "x", 0, 1},
  };
  for (const Case& c : cases) {
    const TModelEntry e = MakeModelEntry("N", c.value);
    EXPECT_STREQ(e.CodeText, c.codeText) << c.value;
    EXPECT_EQ(e.Code, c.code) << c.value;
    EXPECT_EQ(e.Flag, c.flag) << c.value;
  }
}

TEST(ModelTable, FieldsAreCutTo31BytesOnCharacterBoundaries) {
  const std::string longName(40, 'N');
  TModelEntry e = MakeModelEntry(longName, std::string(40, '9'));
  EXPECT_EQ(FieldText(e.Name), std::string(31, 'N'));
  EXPECT_EQ(FieldText(e.CodeText), std::string(31, '9'));
  // 30 ASCII bytes and then a 3-byte character: the character is left out.
  e = MakeModelEntry(std::string(30, 'a') + "ﾌ", "1");
  EXPECT_EQ(FieldText(e.Name), std::string(30, 'a'));
  e = MakeModelEntry("ﾌﾟﾘﾝﾀ制御ｿﾌﾄｳｪｱ", "1");  // 13 characters, 39 bytes
  EXPECT_EQ(FieldText(e.Name), "ﾌﾟﾘﾝﾀ制御ｿﾌﾄ");
  // A cut name never matches the driver it came from.
  TDLPrinterList list;
  list.Add(MakeModelEntry(longName, "5"));
  TPrinterEntry rec = EntryFor(longName);
  ResolveModel(list, rec);
  EXPECT_EQ(rec.Known, 0);
}

TEST(ModelTable, ResolveMatchesWholeNamesIgnoringCase) {
  TDLPrinterList list;
  list.Add(MakeModelEntry("HALVORN RX-110", "1"));
  list.Add(MakeModelEntry("halvorn rx-110", "99"));
  list.Add(MakeModelEntry("KV41", "14,1"));
  TPrinterEntry rec = EntryFor("Halvorn Rx-110");
  EXPECT_EQ(ResolveModel(list, rec), 1);
  EXPECT_EQ(rec.Known, 1);
  EXPECT_EQ(rec.Code, 1);  // the first matching row wins
  EXPECT_STREQ(rec.CodeText, "1");
  rec = EntryFor("HALVORN RX-110 extra");
  rec.Code = 7;
  rec.Flag = 1;
  SetField(rec.CodeText, "7");
  EXPECT_EQ(ResolveModel(list, rec), 1);
  EXPECT_EQ(rec.Known, 0);
  EXPECT_EQ(rec.Code, 0);
  EXPECT_EQ(rec.Flag, 0);
  EXPECT_STREQ(rec.CodeText, "");
  rec = EntryFor("kv41");
  ResolveModel(list, rec);
  EXPECT_EQ(rec.Flag, 1);
  EXPECT_EQ(list.IndexOf(""), -1);
  list.Clear();
  EXPECT_EQ(list.Count(), 0u);
}

TEST(ModelTable, MergeReplacesRowsAndLoadKeepsThem) {
  const std::string path = IniWith("");
  {
    platform::ProfileFile ini(path);
    TDLPrinterList list;
    LoadModelTable(ini, list);
  }
  platform::ProfileFile ini(path);
  MergePackageModels(ini, {{"RX-110", "3"}, {"NEW ONE", "30,1"}});
  TDLPrinterList list;
  platform::ProfileFile reread(path);
  LoadModelTable(reread, list);
  EXPECT_EQ(list.Count(), 76u);
  EXPECT_EQ(list.Item(list.IndexOf("RX-110"))->Code, 3);
  EXPECT_EQ(list.Item(75)->Code, 30);
  const std::string file = ReadFileBytes(path);
  EXPECT_NE(file.find("\nRX-110=3\n"), std::string::npos);
}

TEST(ModelTable, FixedNameLists) {
  int n = 0;
  while (ModelNames[n][0]) ++n;
  EXPECT_EQ(n, 19);
  EXPECT_STREQ(ModelNames[0], "RX-110");
  EXPECT_STREQ(ModelNames[18], "KV16");
  TDLPrinterList list;
  platform::ProfileFile ini(IniWith(""));
  LoadModelTable(ini, list);
  for (int i = 0; i < n; ++i) EXPECT_GE(list.IndexOf(ModelNames[i]), 0) << ModelNames[i];
  EXPECT_TRUE(IsDetailInitModel("HALVORN CORVIA KV15-Y"));
  EXPECT_TRUE(IsDetailInitModel("KV10"));
  EXPECT_FALSE(IsDetailInitModel("halvorn corvia kv16"));  // letter case counts
  EXPECT_FALSE(IsDetailInitModel("KV2-A"));
}

TEST(ModelTable, AppOperationsUseTheSettingsFile) {
  const std::string path = IniWith("[Printers]\nRX-D20=7,1\n");
  TQUILLONApp app(path);
  TPrinterEntry rec = EntryFor("rx-d20");
  EXPECT_EQ(app.ResolveModel(rec), 1);
  EXPECT_EQ(rec.Code, 7);
  EXPECT_EQ(rec.Flag, 1);
  // A row removed by hand while running comes back with the next load.
  platform::ProfileFile ini(path);
  ini.DeleteKey("Printers", "KV16");
  ASSERT_TRUE(ini.Flush());
  app.LoadModelTable();
  EXPECT_EQ(app.Models->Count(), 75u);
  EXPECT_EQ(app.Models->IndexOf("KV16"), 74);
}
