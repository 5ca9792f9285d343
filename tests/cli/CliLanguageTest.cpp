// quillon-cli speaks one language per run, and a history it cannot open is
// an error with its cause. None of these needs the print server.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/ExitCodes.h"
#include "cli/HelpText.h"
#include "cli/Language.h"
#include "tests/cli/CliProcess.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/TestEnv.h"

using namespace quillon_test;
using namespace package_test;
namespace fs = std::filesystem;

namespace {

bool HasJapanese(const std::string& line) {
  // Any character of three or more bytes in UTF-8: kana, kanji, full-width
  // punctuation (the English texts use none).
  for (unsigned char c : line)
    if (c >= 0xE0) return true;
  return false;
}

// Three English words in a row: a sentence, not an option or a file name.
// Three English words in a row, outside 「」 (a quoted text users see as
// the system shows it, such as a queue's state message).
bool HasEnglishWords(const std::string& line) {
  static const std::regex quoted("「[^」]*(」|$)");
  static const std::regex words("(^|[^-A-Za-z./_])[a-z]{2,} [a-z]{2,} [a-z']{2,}([^-A-Za-z]|$)");
  return std::regex_search(std::regex_replace(line, quoted, "「」"), words);
}

std::vector<std::string> TextLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

struct Runs {
  std::string package, broken;
  std::vector<std::vector<std::string>> commands() const {
    return {{"--help"},
            {"download", "--help"},
            {"help", "inventory"},
            {"history", "--help"},
            {"info", package},
            {"info", broken},
            {"download", package},
            {"download", package, "--printer", "q", "--init-items", "9"},
            {"history", "--since", "yesterday"},
            {"upload"}};
  }
};

Runs MakeRuns() {
  const std::string dir = MakeTestDir("lang");
  Runs r;
  r.package = Put(dir, "P.RXF",
                  Header({"FileFormat=RXF", "DownLoadDesc=Sample", "DownLoadVersion=1.23",
                          "DownLoadPrinter=HALVORN RX-140"}) + "\x1A" "DATA");
  r.broken = Put(dir, "BAD.RXF", Header({"FileFormat=RXF"}) + "no mark");
  return r;
}

TEST(CliLanguage, AnEnglishRunHasNoJapaneseLine) {
  const Runs runs = MakeRuns();
  for (const char* lang : {"C.UTF-8", "en_US.UTF-8"}) {
    const ScopedLanguage language(lang);
    for (const auto& args : runs.commands()) {
      SCOPED_TRACE(std::string(lang) + " " + args[0] + (args.size() > 1 ? " " + args[1] : ""));
      const CliResult r = RunCli(args);
      for (const std::string& line : TextLines(r.out + r.err)) EXPECT_FALSE(HasJapanese(line)) << line;
    }
  }
}

TEST(CliLanguage, AJapaneseRunHasNoEnglishSentence) {
  const Runs runs = MakeRuns();
  const ScopedLanguage language("ja_JP.UTF-8");
  for (const auto& args : runs.commands()) {
    SCOPED_TRACE(args[0] + (args.size() > 1 ? " " + args[1] : ""));
    const CliResult r = RunCli(args);
    for (const std::string& line : TextLines(r.out + r.err)) EXPECT_FALSE(HasEnglishWords(line)) << line;
  }
  // The help is Japanese, the synopsis and option names as typed.
  const CliResult help = RunCli({"download", "--help"});
  EXPECT_NE(help.out.find("使い方:"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("--printers-from FILE"), std::string::npos) << help.out;
}

// Every text of the help table has its Japanese; the message lists the
// ones that lack it (an entry added later is English until it is listed in
// cli/LanguageJa.cpp).
TEST(CliLanguage, EveryHelpTextHasItsJapanese) {
  std::vector<std::string> texts;
  for (const cli::CommandDoc& c : cli::CommandDocs()) {
    texts.insert(texts.end(), {c.summary, c.text});
    for (const cli::OptionDoc& o : c.options) texts.push_back(o.text);
  }
  for (const cli::OptionDoc& o : cli::CommonOptionDocs()) texts.push_back(o.text);
  for (const cli::ExitDoc& e : cli::ExitCodeDocs()) texts.push_back(e.text);
  texts.push_back(cli::ExitCodeNote());
  std::string missing;
  for (const std::string& t : texts)
    if (!cli::JapaneseOf(t)) missing += "\n  " + t;
  EXPECT_TRUE(missing.empty()) << "no Japanese for:" << missing;
  // Wrapped Japanese keeps to the terminal's 80 columns (two a character).
  cli::SetJapaneseRun(true);
  for (const std::string& line : TextLines(cli::GlobalHelp() + cli::CommandHelp(*cli::FindCommandDoc("download")))) {
    int columns = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
      const auto c = static_cast<unsigned char>(line[i]);
      if ((c & 0xC0) == 0x80) continue;
      columns += c >= 0xE0 ? 2 : 1;
    }
    EXPECT_LE(columns, 80) << line;
  }
  cli::SetJapaneseRun(false);
}

// Each entry's Japanese has the English's varying parts, as many and in
// the same order (they are filled in by position), and no English key twice.
TEST(CliLanguage, EveryEntryKeepsItsVaryingParts) {
  const auto count = [](const std::string& s) {
    std::size_t n = 0;
    for (std::size_t at = s.find("{}"); at != std::string::npos; at = s.find("{}", at + 2)) ++n;
    return n;
  };
  std::vector<std::string> seen;
  for (const auto& [en, ja] : cli::JapaneseTexts()) {
    EXPECT_EQ(count(en), count(ja)) << en;
    EXPECT_TRUE(HasJapanese(ja) || std::string(ja) == en) << en;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), std::string(en)), 0) << en;
    seen.push_back(en);
  }
  // Parts are translated in turn, and a line the table does not know is kept.
  cli::SetJapaneseRun(true);
  EXPECT_EQ(cli::TrLine("ftp://h/vesta0: refused: the printer's model is unknown (--force sends it anyway)"),
            "ftp://h/vesta0: 拒否: プリンタの機種が不明です（--force を付ければ送ります）");
  EXPECT_EQ(cli::TrLine("a line nobody wrote"), "a line nobody wrote");
  EXPECT_EQ(cli::TrLine("{\"outcome\":\"refused\"}"), "{\"outcome\":\"refused\"}");
  cli::SetJapaneseRun(false);
  EXPECT_EQ(cli::TrLine("no printer given"), "no printer given");
}

// A run where Qt SQL has no SQLite driver: a copy of the program whose
// qt.conf points its plugins at an empty folder.
TEST(CliHistory, NoSqliteDriverIsAnErrorWithItsCauseNotAnEmptyList) {
  const std::string dir = MakeTestDir("nodriver");
  const std::string program = dir + "/quillon-cli";
  fs::copy_file(QUILLON_CLI, program);
  fs::create_directories(dir + "/noplugins");
  ASSERT_TRUE(WriteFileBytes(dir + "/qt.conf", "[Paths]\nPlugins=" + dir + "/noplugins\n"));
  for (const bool json : {false, true}) {
    const std::string out = dir + "/out", err = dir + "/err";
    const int status = RunCommand("LANG=C.UTF-8 '" + program + "' history" + (json ? " --json" : "") +
                                  " >'" + out + "' 2>'" + err + "'");
    EXPECT_EQ(status, cli::kExitInput) << ReadFileBytes(err);
    EXPECT_EQ(ReadFileBytes(out), "");
    EXPECT_NE(ReadFileBytes(err).find("the SQLite driver of Qt SQL is not installed"), std::string::npos)
        << ReadFileBytes(err);
  }
}

TEST(CliHistory, AHistoryThatIsNotADatabaseIsAnErrorWithItsCause) {
  const ScopedLanguage english("C.UTF-8");
  const std::string data = MakeTestDir("data");
  const char* saved = std::getenv("XDG_DATA_HOME");
  const std::string keep = saved ? saved : "";
  ::setenv("XDG_DATA_HOME", data.c_str(), 1);
  fs::create_directories(data + "/quillon");
  ASSERT_TRUE(WriteFileBytes(data + "/quillon/history.sqlite", std::string(4096, 'x')));
  const CliResult r = RunCli({"history"});
  if (saved) ::setenv("XDG_DATA_HOME", keep.c_str(), 1); else ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(r.exitCode, cli::kExitInput);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("the download history cannot be read"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("not a database"), std::string::npos) << r.err;
}

}  // namespace
