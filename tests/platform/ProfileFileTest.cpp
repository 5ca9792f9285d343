#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/ProfileFile.h"
#include "tests/support/TestEnv.h"

using platform::ProfileFile;
using quillon_test::MakeTestDir;
using quillon_test::ReadFileBytes;
using quillon_test::WriteFileBytes;

namespace {

std::string FileWith(const std::string& bytes) {
  const std::string path = MakeTestDir("ini") + "/T.INI";
  WriteFileBytes(path, bytes);
  return path;
}

}  // namespace

TEST(ProfileFileRead, MatchesWithoutCaseTrimsAndUnquotes) {
  ProfileFile f(FileWith(
      "; a comment=not a key\n"
      "  [ Sect ]  \n"
      "  Key One  =  some value  \n"
      "dq=\"  quoted  \"\n"
      "sq='single'\n"
      "mixed=\"half'\n"
      "lone=\"\n"
      "inner=a \"b\" c\n"
      "empty=\n"
      "noequals line\n"
      "[Other]\n"
      "key one=other\n"));
  EXPECT_EQ(f.ReadString("sect", "KEY ONE", "d"), "some value");
  EXPECT_EQ(f.ReadString("SECT", "dq", "d"), "  quoted  ");
  EXPECT_EQ(f.ReadString("Sect", "sq", "d"), "single");
  EXPECT_EQ(f.ReadString("Sect", "mixed", "d"), "\"half'");
  EXPECT_EQ(f.ReadString("Sect", "lone", "d"), "\"");
  EXPECT_EQ(f.ReadString("Sect", "inner", "d"), "a \"b\" c");
  EXPECT_EQ(f.ReadString("Sect", "empty", "d"), "");
  EXPECT_EQ(f.ReadString("Sect", "noequals line", "d"), "d");
  EXPECT_EQ(f.ReadString("Sect", "; a comment", "d"), "d");
  EXPECT_EQ(f.ReadString("Other", "Key One", "d"), "other");
  EXPECT_EQ(f.ReadString("Missing", "Key One", "dflt"), "dflt");
  EXPECT_TRUE(f.HasKey("sect", "EMPTY"));
  EXPECT_FALSE(f.HasKey("sect", "nothing"));
  EXPECT_TRUE(f.HasSection("OTHER"));
  EXPECT_EQ(f.ReadSections(), (std::vector<std::string>{"Sect", "Other"}));
}

TEST(ProfileFileRead, CrLfFilesAndKeysBeforeAnySection) {
  ProfileFile f(FileWith("stray=1\r\n[A]\r\nx=1\r\ny = 2 \r\n"));
  EXPECT_EQ(f.ReadString("A", "y", ""), "2");
  EXPECT_EQ(f.ReadString("", "stray", "none"), "none");
}

TEST(ProfileFileRead, StopsAtFirstEofByte) {
  const std::string path = FileWith(std::string("[RX_DownLoad]\nName=Pkg\n\x1A[RX_DownLoad]\nHidden=1\n\x00\x01", 44));
  ProfileFile f(path);
  EXPECT_EQ(f.ReadString("RX_DownLoad", "Name", ""), "Pkg");
  EXPECT_FALSE(f.HasKey("RX_DownLoad", "Hidden"));
  // A write keeps the binary tail untouched after the text part.
  ASSERT_TRUE(f.WriteString("RX_DownLoad", "Added", "2"));
  ASSERT_TRUE(f.Flush());
  EXPECT_EQ(ReadFileBytes(path),
            std::string("[RX_DownLoad]\nName=Pkg\nAdded=2\n\x1A[RX_DownLoad]\nHidden=1\n\x00\x01", 52));
}

TEST(ProfileFileRead, AbsentFileIsEmptyProfile) {
  ProfileFile f(MakeTestDir() + "/none.ini");
  EXPECT_EQ(f.ReadString("a", "b", "def"), "def");
  EXPECT_TRUE(f.ReadKeys("a").empty());
  EXPECT_EQ(f.ReadProfileInt("a", "b", 7), 7);
  EXPECT_EQ(f.ReadInteger("a", "b", 8), 8);
  // A folder in place of the file reads as empty and cannot be replaced.
  const std::string dir = MakeTestDir();
  ProfileFile d(dir);
  EXPECT_TRUE(d.ReadSections().empty());
  d.WriteString("a", "b", "c");
  EXPECT_FALSE(d.Flush());
  EXPECT_TRUE(std::filesystem::is_directory(dir));
}

TEST(ProfileFileRead, ProfileIntTakesLeadingDigits) {
  ProfileFile f(FileWith("[S]\na=12abc\nb=abc\nc=-5x\nd=\ne= 42 \nf=0x1A\ng=99999999999\nh='7'\n"));
  EXPECT_EQ(f.ReadProfileInt("s", "a", 9), 12);
  EXPECT_EQ(f.ReadProfileInt("s", "b", 9), 0);
  EXPECT_EQ(f.ReadProfileInt("s", "c", 9), -5);
  EXPECT_EQ(f.ReadProfileInt("s", "d", 9), 9);
  EXPECT_EQ(f.ReadProfileInt("s", "e", 9), 42);
  EXPECT_EQ(f.ReadProfileInt("s", "f", 9), 0);
  EXPECT_EQ(f.ReadProfileInt("s", "g", 9), 2147483647);
  EXPECT_EQ(f.ReadProfileInt("s", "h", 9), 7);
  EXPECT_EQ(f.ReadProfileInt("s", "absent", 9), 9);
}

TEST(ProfileFileRead, FrameworkIntegerFallsBackOnNonNumbers) {
  ProfileFile f(FileWith("[S]\na=12abc\nb=abc\nc=-5\nd=\ne=0x1A\nf=$ff\ng=99999999999\nh=+3\ni=-\n"
                         "on=1\noff=0\ntwo=2\nword=yes\n"));
  EXPECT_EQ(f.ReadInteger("S", "a", 9), 9);
  EXPECT_EQ(f.ReadInteger("S", "b", 9), 9);
  EXPECT_EQ(f.ReadInteger("S", "c", 9), -5);
  EXPECT_EQ(f.ReadInteger("S", "d", 9), 9);
  EXPECT_EQ(f.ReadInteger("S", "e", 9), 26);
  EXPECT_EQ(f.ReadInteger("S", "f", 9), 255);
  EXPECT_EQ(f.ReadInteger("S", "g", 9), 9);
  EXPECT_EQ(f.ReadInteger("S", "h", 9), 3);
  EXPECT_EQ(f.ReadInteger("S", "i", 9), 9);
  EXPECT_TRUE(f.ReadBool("S", "on", false));
  EXPECT_FALSE(f.ReadBool("S", "off", true));
  EXPECT_TRUE(f.ReadBool("S", "two", false));
  EXPECT_TRUE(f.ReadBool("S", "word", true));
  EXPECT_FALSE(f.ReadBool("S", "word", false));
  EXPECT_TRUE(f.ReadBool("S", "absent", true));
}

TEST(ProfileFileRead, KeysInFileOrderAcrossRepeatedSections) {
  ProfileFile f(FileWith("[Printers]\nB=1\na=2\n[X]\nz=1\n[printers]\nC=3\nA=4\n"));
  EXPECT_EQ(f.ReadKeys("PRINTERS"), (std::vector<std::string>{"B", "a", "C"}));
  EXPECT_EQ(f.ReadString("Printers", "A", ""), "2");
}

TEST(ProfileFileWrite, ReplacesInPlaceAppendsAndAddsSections) {
  const std::string path = FileWith("[A]\nx=1\ny=2\n\n[B]\nk=v\n");
  ProfileFile f(path);
  EXPECT_TRUE(f.WriteString("a", "X", "10"));
  EXPECT_TRUE(f.WriteString("A", "new", "n"));
  EXPECT_TRUE(f.WriteString("C", "c", "3"));
  ASSERT_TRUE(f.Flush());
  EXPECT_EQ(ReadFileBytes(path), "[A]\nx=10\ny=2\nnew=n\n\n[B]\nk=v\n\n[C]\nc=3\n");
}

TEST(ProfileFileWrite, SameValueLeavesFileUntouched) {
  const std::string path = FileWith("[A]\r\nx = 1\r\n");
  ProfileFile f(path);
  f.WriteString("A", "x", "2");
  EXPECT_TRUE(f.Dirty());
  ProfileFile g(path);
  g.WriteString("A", "x", "1");
  // "x = 1" becomes "x=1" only when the value really changes.
  EXPECT_TRUE(g.Dirty());
  ASSERT_TRUE(g.Flush());
  EXPECT_EQ(ReadFileBytes(path), "[A]\r\nx=1\r\n");
  ProfileFile h(path);
  h.WriteString("a", "X", "1");
  EXPECT_FALSE(h.Dirty());
}

TEST(ProfileFileWrite, CreatesFileAndFolder) {
  const std::string path = MakeTestDir() + "/sub/dir/NEW.INI";
  EXPECT_TRUE(platform::WritePrivateProfileString("QUILLON.INI", "ViewLocal", "1", path));
  EXPECT_EQ(ReadFileBytes(path), "[QUILLON.INI]\nViewLocal=1\n");
  EXPECT_EQ(platform::GetPrivateProfileString("quillon.ini", "viewlocal", "", path), "1");
  EXPECT_EQ(platform::GetPrivateProfileInt("quillon.ini", "viewlocal", 5, path), 1);
  // A flush of an untouched profile of a missing file creates it empty.
  const std::string empty = MakeTestDir() + "/E.INI";
  ProfileFile e(empty);
  ASSERT_TRUE(e.Flush());
  EXPECT_TRUE(std::filesystem::exists(empty));
}

TEST(ProfileFileWrite, RefusesKeysThatCannotBeReadBack) {
  ProfileFile f(MakeTestDir() + "/R.INI");
  EXPECT_FALSE(f.WriteString("S", "a=b", "1"));
  EXPECT_FALSE(f.WriteString("S", "", "1"));
  EXPECT_FALSE(f.WriteString("S", "line\nbreak", "1"));
  EXPECT_FALSE(f.WriteString("S\n[T", "k", "1"));
  EXPECT_FALSE(f.Dirty());
  // A value is cut at its first line break instead of adding lines.
  EXPECT_TRUE(f.WriteString("S", "k", "first\n[Evil]\nx=1"));
  EXPECT_EQ(f.ReadString("S", "k", ""), "first");
  EXPECT_FALSE(f.HasSection("Evil"));
}

TEST(ProfileFileWrite, DeletesKeysAndSections) {
  const std::string path = FileWith("[A]\nx=1\ny=2\n[B]\nk=v\n[a]\nX=3\n");
  ProfileFile f(path);
  f.DeleteKey("A", "x");
  EXPECT_FALSE(f.HasKey("A", "x"));
  f.DeleteSection("b");
  ASSERT_TRUE(f.Flush());
  EXPECT_EQ(ReadFileBytes(path), "[A]\ny=2\n[a]\n");
}

// A key repeated in thousands of blocks of one section goes in one pass
// (each deletion used to re-index the whole file: minutes for this one).
TEST(ProfileFileWrite, DeletesKeyRepeatedInManyBlocks) {
  std::string text, expected;
  for (int i = 0; i < 20000; ++i) {
    text += (i % 2 ? "[a]\nX=1\nk" : "[A]\nx=1\nk") + std::to_string(i) + "=v\n[B]\nx=2\n";
    expected += (i % 2 ? "[a]\nk" : "[A]\nk") + std::to_string(i) + "=v\n[B]\nx=2\n";
  }
  const std::string path = FileWith(text);
  ProfileFile f(path);
  f.DeleteKey("a", "X");
  EXPECT_FALSE(f.HasKey("A", "x"));
  EXPECT_EQ(f.ReadString("B", "x", ""), "2");
  EXPECT_EQ(f.ReadString("a", "k19999", ""), "v");
  ASSERT_TRUE(f.Flush());
  EXPECT_EQ(ReadFileBytes(path), expected);
}

TEST(ProfileFileWrite, AtomicReplaceLeavesNoTempFilesAndKeepsMode) {
  const std::string dir = MakeTestDir();
  const std::string path = dir + "/M.INI";
  WriteFileBytes(path, "[A]\nx=1\n");
  chmod(path.c_str(), 0640);
  ProfileFile f(path);
  f.WriteString("A", "x", "2");
  ASSERT_TRUE(f.Flush());
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, 1);
  // A folder that cannot be written: the old file stays whole.
  chmod(dir.c_str(), 0500);
  f.WriteString("A", "x", "3");
  if (geteuid() != 0) {
    EXPECT_FALSE(f.Flush());
    EXPECT_EQ(ReadFileBytes(path), "[A]\nx=2\n");
  }
  chmod(dir.c_str(), 0700);
}

TEST(ProfileFileWrite, KeepsBytesOfOtherEncodings) {
  // Shift-JIS bytes pass through unchanged, also a trailing byte 0x5C.
  const std::string sjis = "\x83\x5C\x83\x74\x83\x67";
  const std::string path = FileWith("[S]\nk=" + sjis + "\n");
  ProfileFile f(path);
  EXPECT_EQ(f.ReadString("S", "k", ""), sjis);
  f.WriteString("S", "u", "ﾌﾟﾘﾝﾀ");
  ASSERT_TRUE(f.Flush());
  EXPECT_EQ(ProfileFile(path).ReadString("s", "U", ""), "ﾌﾟﾘﾝﾀ");
}

// Lookups go through an index that inserts keep up to date: every edit must
// read back exactly as a fresh read of the written file does.
TEST(ProfileFileIndex, EditsReadBackLikeAFreshFile) {
  const std::string dir = quillon_test::MakeTestDir("index");
  const std::string path = dir + "/x.ini";
  quillon_test::WriteFileBytes(path,
      "top=0\n[A]\na1=1\n\n; note\n[B]\nb1=2\n[a]\na2=3\n[C]\nc1=4\n");
  platform::ProfileFile f(path);
  EXPECT_FALSE(f.HasKey("A", "top"));           // before any section
  EXPECT_EQ(f.ReadString("a", "A2", "?"), "3");  // repeated section, any case
  ASSERT_TRUE(f.WriteString("A", "new1", "n1"));  // after "; note" in A's first block
  ASSERT_TRUE(f.WriteString("B", "new2", "n2"));
  ASSERT_TRUE(f.WriteString("A", "new3", "n3"));
  ASSERT_TRUE(f.WriteString("D", "d1", "5"));     // new section at the end
  ASSERT_TRUE(f.WriteString("D", "d2", "6"));
  ASSERT_TRUE(f.WriteString("C", "c1", "44"));    // replaced in place
  f.DeleteKey("B", "b1");
  ASSERT_TRUE(f.WriteString("B", "new4", "n4"));
  ASSERT_TRUE(f.Flush());
  const platform::ProfileFile fresh(path);
  for (const platform::ProfileFile* p : std::vector<const platform::ProfileFile*>{&f, &fresh}) {
    EXPECT_EQ(p->ReadKeys("A"), (std::vector<std::string>{"a1", "new1", "new3", "a2"}));
    EXPECT_EQ(p->ReadKeys("B"), (std::vector<std::string>{"new2", "new4"}));
    EXPECT_EQ(p->ReadKeys("D"), (std::vector<std::string>{"d1", "d2"}));
    EXPECT_EQ(p->ReadString("C", "c1", ""), "44");
    EXPECT_EQ(p->ReadString("B", "new4", ""), "n4");
    EXPECT_EQ(p->ReadString("A", "NEW3", ""), "n3");
    EXPECT_TRUE(p->HasSection("d"));
  }
  EXPECT_EQ(quillon_test::ReadFileBytes(path),
            "top=0\n[A]\na1=1\n\n; note\nnew1=n1\nnew3=n3\n[B]\nnew2=n2\nnew4=n4\n[a]\na2=3\n[C]\nc1=44\n\n[D]\nd1=5\nd2=6\n");
}

// Every edit the writer accepts reads back the same from the file: the end
// mark and a byte order mark would hide or rename what was written.
TEST(ProfileFileIndex, EditsThatCouldNotReadBackAreRefusedOrCut) {
  const std::string path = quillon_test::MakeTestDir("index") + "/x.ini";
  quillon_test::WriteFileBytes(path, std::string("[S]\na=1\n\x1A" "binary\x1A tail", 21));
  platform::ProfileFile f(path);
  EXPECT_FALSE(f.WriteString("S", "k\x1A" "x", "v"));
  EXPECT_FALSE(f.WriteString("T\x1A", "k", "v"));
  EXPECT_FALSE(f.WriteString("S", "\xEF\xBB\xBF" "bom", "v"));
  ASSERT_TRUE(f.WriteString("S", "cut", "before\x1A" "after"));
  ASSERT_TRUE(f.WriteString("S", "k\xEF\xBB\xBF", "inner mark is kept"));
  ASSERT_TRUE(f.Flush());
  const platform::ProfileFile fresh(path);
  for (const platform::ProfileFile* p : std::vector<const platform::ProfileFile*>{&f, &fresh}) {
    EXPECT_EQ(p->ReadKeys("S"), (std::vector<std::string>{"a", "cut", "k\xEF\xBB\xBF"}));
    EXPECT_EQ(p->ReadString("S", "cut", "?"), "before");
    EXPECT_EQ(p->ReadString("S", "k\xEF\xBB\xBF", "?"), "inner mark is kept");
    EXPECT_EQ(p->ReadSections(), std::vector<std::string>{"S"});
  }
  EXPECT_EQ(quillon_test::ReadFileBytes(path),
            std::string("[S]\na=1\ncut=before\nk\xEF\xBB\xBF=inner mark is kept\n\x1A" "binary\x1A tail", 56));
}
