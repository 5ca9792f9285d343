// The help file and the help window.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextBrowser>

#include <algorithm>

#include "tests/support/TestEnv.h"
#include "gui/HelpViewer.h"
#include "resources/Translations.h"

using namespace quillon;

namespace {

const int kContexts[] = {0,    1001, 1011, 1012, 1015, 1016, 1020, 1031,
                         1032, 2001, 2002, 2004, 2005, 2008, 2010, 9999};

QString SourceHelp() { return QStringLiteral(QUILLON_SOURCE_DIR "/resources/help/QUILLON.HLP"); }

}  // namespace

TEST(HelpFile, HasOneTopicPerContextAndEveryLinkLeadsToOne) {
  const QString html = LoadHelpDocument(SourceHelp());
  ASSERT_FALSE(html.isEmpty());
  const std::vector<int> topics = HelpTopics(html);
  EXPECT_EQ(topics, std::vector<int>(std::begin(kContexts), std::end(kContexts)));
  // Every link inside the file points at a topic that exists.
  QRegularExpression link(QStringLiteral("href=\"#(\\d+)\""));
  int links = 0;
  for (auto it = link.globalMatch(html); it.hasNext(); ++links) {
    const int target = it.next().captured(1).toInt();
    EXPECT_TRUE(std::binary_search(topics.begin(), topics.end(), target)) << target;
  }
  EXPECT_GE(links, 15);
}

TEST(HelpFile, VersionTopicCarriesTheProgramVersion) {
  const QString html = LoadHelpDocument(SourceHelp());
  EXPECT_FALSE(html.contains(QStringLiteral("@QUILLON_VERSION@")));
  const qsizetype version = html.indexOf(QStringLiteral("<a name=\"1001\">"));
  const qsizetype next = html.indexOf(QStringLiteral("<a name=\"1011\">"));
  ASSERT_GE(version, 0);
  EXPECT_TRUE(html.mid(version, next - version).contains(QStringLiteral(QUILLON_VERSION)));
}

TEST(HelpFile, MissingFileLoadsNothing) {
  EXPECT_TRUE(LoadHelpDocument(QStringLiteral("/nonexistent/QUILLON.HLP")).isEmpty());
}

TEST(HelpWindow, OpensAtTheTopicFromBesideTheProgramWhateverTheWorkingFolder) {
  SetHelpFilePath(QString());
  EXPECT_EQ(HelpFilePath(), QCoreApplication::applicationDirPath() + "/QUILLON.HLP");
  const std::string elsewhere = quillon_test::MakeTestDir("cwd");
  const QString before = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(elsewhere)));
  const int found = ShowHelp(1016);
  QDir::setCurrent(before);
  EXPECT_EQ(found, 1);
  EXPECT_TRUE(HelpViewer()->isVisible());
  EXPECT_EQ(HelpViewer()->CurrentContext(), 1016);
  EXPECT_TRUE(HelpViewer()->Browser->toPlainText().contains(QStringLiteral("ステータスシート")));

  EXPECT_EQ(ShowHelp(1001), 1);
  EXPECT_EQ(HelpViewer()->CurrentContext(), 1001);
  // An unknown context shows the contents.
  EXPECT_EQ(ShowHelp(4242), 0);
  EXPECT_EQ(HelpViewer()->CurrentContext(), 0);
  HelpViewer()->close();
}

TEST(HelpWindow, MissingFileSaysSoInTheWindow) {
  SetHelpFilePath(QStringLiteral("/nonexistent/QUILLON.HLP"));
  EXPECT_EQ(ShowHelp(1001), 0);
  EXPECT_TRUE(HelpViewer()->Browser->toPlainText().contains(QStringLiteral("見つかりません")));
  HelpViewer()->close();
  SetHelpFilePath(QString());
  EXPECT_EQ(ShowHelp(0), 1);
  HelpViewer()->close();
}

namespace {

void PutHelpFile(const QString& path) {
  ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("<html><a name=\"0\"></a></html>");
}

}  // namespace

// An installed program finds its help in the data folder of its prefix; a
// copy beside the program (a build folder) wins over it.
TEST(HelpFile, LooksBesideTheProgramFirstThenInTheDataFolders) {
  const QString root = QString::fromStdString(quillon_test::MakeTestDir("prefix"));
  const QString bin = root + "/usr/bin";
  const QString xdg = root + "/xdg";
  ASSERT_TRUE(QDir().mkpath(bin));
  qputenv("XDG_DATA_DIRS", xdg.toUtf8());
  const std::vector<QString> paths = HelpFileCandidates(bin);
  ASSERT_GE(paths.size(), 3u);
  EXPECT_EQ(paths[0], bin + "/QUILLON.HLP");
  EXPECT_EQ(paths[1], root + "/usr/share/quillon/QUILLON.HLP");
  EXPECT_NE(std::find(paths.begin(), paths.end(), xdg + "/quillon/QUILLON.HLP"), paths.end());

  // None there: the path beside the program, so the window names it.
  EXPECT_EQ(FindHelpFile(bin), bin + "/QUILLON.HLP");
  PutHelpFile(xdg + "/quillon/QUILLON.HLP");
  EXPECT_EQ(FindHelpFile(bin), xdg + "/quillon/QUILLON.HLP");
  PutHelpFile(root + "/usr/share/quillon/QUILLON.HLP");
  EXPECT_EQ(FindHelpFile(bin), root + "/usr/share/quillon/QUILLON.HLP");
  PutHelpFile(bin + "/QUILLON.HLP");
  EXPECT_EQ(FindHelpFile(bin), bin + "/QUILLON.HLP");
  // A folder of that name is not a help file.
  const QString other = root + "/opt/bin";
  ASSERT_TRUE(QDir().mkpath(other + "/QUILLON.HLP"));
  EXPECT_NE(FindHelpFile(other), other + "/QUILLON.HLP");
  qunsetenv("XDG_DATA_DIRS");
}

namespace {

// Japanese text apart from the printer panel's own half-width kana, which
// the English help quotes as the panel shows them.
bool HasJapaneseText(const QString& text) {
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if ((u >= 0x3000 && u <= 0x9FFF) || (u >= 0xFF01 && u <= 0xFF60)) return true;
  }
  return false;
}

QString SourceEnglishHelp() {
  return QStringLiteral(QUILLON_SOURCE_DIR "/resources/help/QUILLON_EN.HLP");
}

}  // namespace

TEST(HelpFile, TheEnglishHelpHasEveryTopicAndNoJapaneseText) {
  const QString html = LoadHelpDocument(SourceEnglishHelp());
  ASSERT_FALSE(html.isEmpty());
  EXPECT_EQ(HelpTopics(html), std::vector<int>(std::begin(kContexts), std::end(kContexts)));
  EXPECT_FALSE(HasJapaneseText(html)) << html.toStdString();
  EXPECT_TRUE(html.contains(QStringLiteral("Program version: <b>" QUILLON_VERSION)));
}

// "Version..." and the help open the English text in an English locale,
// the Japanese one under ja_JP, from beside the program.
TEST(HelpWindow, TheHelpAndTheVersionFollowTheLocale) {
  SetHelpFilePath(QString());
  auto& app = *QCoreApplication::instance();
  for (const char* name : {"en_US", "C"}) {
    SCOPED_TRACE(name);
    InstallTranslations(app, QLocale(QString::fromLatin1(name)));
    EXPECT_EQ(HelpFilePath(), QCoreApplication::applicationDirPath() + "/QUILLON_EN.HLP");
    EXPECT_EQ(ShowHelp(1001), 1);
    const QString shown = HelpViewer()->Browser->toPlainText();
    EXPECT_TRUE(shown.contains(QStringLiteral("Program version: " QUILLON_VERSION))) << shown.toStdString();
    EXPECT_FALSE(HasJapaneseText(shown)) << shown.toStdString();
    HelpViewer()->close();
  }
  InstallTranslations(app, QLocale(QLocale::Japanese, QLocale::Japan));
  EXPECT_EQ(HelpFilePath(), QCoreApplication::applicationDirPath() + "/QUILLON.HLP");
  EXPECT_EQ(ShowHelp(1001), 1);
  EXPECT_TRUE(HelpViewer()->Browser->toPlainText().contains(QStringLiteral("プログラムのバージョン")));
  HelpViewer()->close();
}
