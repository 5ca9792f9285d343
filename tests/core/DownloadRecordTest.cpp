// DownLoad.log and the download history: nothing lost when writers meet,
// nothing that cannot be read back, and a broken database never taken for
// a written one.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "core/history/DownloadHistory.h"
#include "core/history/DownloadLog.h"
#include "platform/ProfileFile.h"
#include "tests/support/TestEnv.h"

using namespace quillon;

namespace {

// Every value of the log, sections in file order.
std::vector<std::string> ValuesOf(const std::string& path) {
  const platform::ProfileFile file(path);
  std::vector<std::string> values;
  for (const std::string& section : file.ReadSections()) {
    for (const std::string& key : file.ReadKeys(section))
      values.push_back(file.ReadString(section, key, "?"));
  }
  return values;
}

HistoryEntry Entry(const std::string& printer, int result) {
  HistoryEntry e;
  e.time = QDateTime::currentDateTimeUtc();
  e.user = "op";
  e.packagePath = "/srv/fw/FW.RXF";
  e.sha256 = std::string(64, 'a');
  e.description = "Firmware";
  e.version = "2.00";
  e.printer = printer;
  e.route = "spooler";
  e.model = "HALVORN KV3";
  e.initItems = 1;
  e.result = result;
  e.detail = result ? "connect to 127.0.0.9:21: Connection refused" : "";
  e.bytesSent = 1234;
  e.seconds = 1.5;
  return e;
}

TEST(DownloadLogFile, KeysHoldNoEqualsSignOrLineBreakAndReadBackWhole) {
  const std::string path = "/srv/a=b/50%/FW.RXF";
  const std::string key = DownloadLogKey(path, "説明 = 1.0");
  EXPECT_EQ(key.find('='), std::string::npos);
  EXPECT_EQ(key, "/srv/a%3Db/50%25/FW.RXF,説明 %3D 1.0");
  EXPECT_EQ(UnescapeLogKey(key), path + ",説明 = 1.0");
  EXPECT_EQ(UnescapeLogKey(DownloadLogKey("/a\nb\r", "")), "/a\nb\r,");
  // An ordinary path is written as it always was.
  EXPECT_EQ(DownloadLogKey("/srv/fw/FW.RXF", "Firmware 2.00"), "/srv/fw/FW.RXF,Firmware 2.00");

  const std::string log = quillon_test::MakeTestDir("log") + "/new/DownLoad.log";
  ASSERT_FALSE(AppendDownloadLog(log, "2024/03/05 9:08:07", key, "P1,socket://x").Failed());
  const platform::ProfileFile file(log);
  ASSERT_EQ(file.ReadKeys("2024/03/05 9:08:07").size(), 1u);
  EXPECT_EQ(UnescapeLogKey(file.ReadKeys("2024/03/05 9:08:07").front()), path + ",説明 = 1.0");
  EXPECT_EQ(file.ReadString("2024/03/05 9:08:07", key, "?"), "P1,socket://x");
}

TEST(DownloadLogFile, TheSamePackageTwiceInOneSecondKeepsBothEntries) {
  const std::string log = quillon_test::MakeTestDir("log") + "/DownLoad.log";
  const std::string section = "2024/03/05 9:08:07";
  const std::string key = DownloadLogKey("/srv/fw/FW.RXF", "Firmware 2.00");
  ASSERT_FALSE(AppendDownloadLog(log, section, key, "P1,").Failed());
  ASSERT_FALSE(AppendDownloadLog(log, section, key, "P2,").Failed());
  // Keys match without regard to case: this one would have replaced the first.
  const std::string upper = DownloadLogKey("/SRV/FW/FW.RXF", "Firmware 2.00");
  ASSERT_FALSE(AppendDownloadLog(log, section, upper, "P3,").Failed());
  EXPECT_EQ(ValuesOf(log), (std::vector<std::string>{"P1,", "P2,", "P3,"}));
  const platform::ProfileFile file(log);
  EXPECT_EQ(file.ReadString(section + " (2)", key, "?"), "P2,");
  EXPECT_EQ(file.ReadString(section + " (3)", upper, "?"), "P3,");
}

// A package without a version has a key that ends in a blank, which the
// file does not keep: the second entry of the same second must still find
// the first and go to a section of its own.
TEST(DownloadLogFile, APackageWithoutAVersionTwiceInOneSecondKeepsBothEntries) {
  const std::string log = quillon_test::MakeTestDir("log") + "/DownLoad.log";
  const std::string section = "2024/03/05 9:08:07";
  const std::string key = DownloadLogKey("/srv/fw/FW.RXF", "Firmware ");
  ASSERT_EQ(key.back(), ' ');
  ASSERT_FALSE(AppendDownloadLog(log, section, key, "P1,").Failed());
  ASSERT_FALSE(AppendDownloadLog(log, section, key, "P2,").Failed());
  ASSERT_FALSE(AppendDownloadLog(log, " " + section, "\t" + key, "P3,").Failed());
  EXPECT_EQ(ValuesOf(log), (std::vector<std::string>{"P1,", "P2,", "P3,"}));
  const platform::ProfileFile file(log);
  EXPECT_EQ(file.ReadSections(),
            (std::vector<std::string>{section, section + " (2)", section + " (3)"}));
  EXPECT_EQ(file.ReadString(section, "/srv/fw/FW.RXF,Firmware", "?"), "P1,");
  EXPECT_EQ(file.ReadString(section + " (2)", "/srv/fw/FW.RXF,Firmware", "?"), "P2,");
}

// Another process holding the folder's lock and never letting go: the
// entry fails once the bound has passed, and says why, instead of holding
// the download up for good.
TEST(DownloadLogFile, ALockHeldByAnotherIsAFailureAfterABoundedWait) {
  const std::string dir = quillon_test::MakeTestDir("log");
  const std::string log = dir + "/DownLoad.log";
  ASSERT_FALSE(AppendDownloadLog(log, "s", "first", "P1,").Failed());
  // A lock of its own open file: flock sets it against this process too.
  const int holder = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  constexpr int kBoundMs = 400;
  const auto begin = std::chrono::steady_clock::now();
  auto pending = std::async(std::launch::async, [&] {
    return AppendDownloadLog(log, "s", "second", "P2,", kBoundMs);
  });
  const bool ended = pending.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  const auto waited = std::chrono::steady_clock::now() - begin;
  ::close(holder);  // lets a writer that never gave up finish
  ASSERT_TRUE(ended) << "the write still waits for the lock after 10 s";
  const platform::Error e = pending.get();
  EXPECT_TRUE(e.Failed());
  EXPECT_NE(e.detail.find("not written"), std::string::npos) << e.detail;
  EXPECT_NE(e.detail.find(dir), std::string::npos) << e.detail;
  EXPECT_NE(e.detail.find(std::to_string(kBoundMs) + " ms"), std::string::npos) << e.detail;
  EXPECT_GE(waited, std::chrono::milliseconds(kBoundMs));
  EXPECT_EQ(ValuesOf(log), std::vector<std::string>{"P1,"});
  // Free again: written at once.
  EXPECT_FALSE(AppendDownloadLog(log, "s", "third", "P3,", kBoundMs).Failed());
  EXPECT_EQ(ValuesOf(log), (std::vector<std::string>{"P1,", "P3,"}));
}

TEST(DownloadLogFile, WritersAtOnceLoseNothing) {
  const std::string log = quillon_test::MakeTestDir("log") + "/DownLoad.log";
  const std::string section = "2024/03/05 9:08:07";
  const std::string key = DownloadLogKey("/srv/fw/FW.RXF", "Firmware 2.00");
  constexpr int kWriters = 4, kEach = 10;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (int i = 0; i < kEach; ++i)
        EXPECT_FALSE(AppendDownloadLog(log, section, key, "P" + std::to_string(w * kEach + i)).Failed());
    });
  }
  for (auto& t : writers) t.join();
  std::vector<std::string> values = ValuesOf(log);
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
  EXPECT_EQ(values.size(), static_cast<std::size_t>(kWriters * kEach));
}

TEST(DownloadLogFile, AFolderThatCannotBeMadeIsAFailureWithItsReason) {
  const std::string file = quillon_test::MakeTestDir("log") + "/plain";
  ASSERT_TRUE(quillon_test::WriteFileBytes(file, "x"));
  const platform::Error e = AppendDownloadLog(file + "/DownLoad.log", "s", "k", "v");
  EXPECT_TRUE(e.Failed());
  EXPECT_NE(e.detail.find(file), std::string::npos) << e.detail;
}

TEST(History, ARowReadsBackAsWrittenAndFiltersByPrinterAndTime) {
  DownloadHistory history(quillon_test::MakeTestDir("hist") + "/sub/history.sqlite");
  std::vector<HistoryEntry> rows;
  // No database yet: an empty history, and nothing created by reading.
  ASSERT_FALSE(history.Read({}, rows).Failed());
  EXPECT_TRUE(rows.empty());

  HistoryEntry old = Entry("P1", 0);
  old.time = QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC);
  old.initItems.reset();
  old.sha256.clear();
  HistoryEntry failed = Entry("P2", 33);
  failed.outcome = "verified";
  failed.versionBefore = "1.0";
  failed.versionAfter = "";
  ASSERT_FALSE(history.Record(old).Failed());
  ASSERT_FALSE(history.Record(failed).Failed());
  ASSERT_FALSE(history.Record(Entry("P1", 0)).Failed());

  ASSERT_FALSE(history.Read({}, rows).Failed());
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].time, old.time);
  EXPECT_FALSE(rows[0].initItems.has_value());
  EXPECT_TRUE(rows[0].sha256.empty());
  EXPECT_FALSE(rows[0].outcome.has_value());
  const HistoryEntry& f = rows[1];
  EXPECT_EQ(f.printer, "P2");
  EXPECT_EQ(f.result, 33);
  EXPECT_EQ(f.detail, failed.detail);
  EXPECT_EQ(f.user, "op");
  EXPECT_EQ(f.packagePath, "/srv/fw/FW.RXF");
  EXPECT_EQ(f.sha256, std::string(64, 'a'));
  EXPECT_EQ(f.description, "Firmware");
  EXPECT_EQ(f.version, "2.00");
  EXPECT_EQ(f.route, "spooler");
  EXPECT_EQ(f.model, "HALVORN KV3");
  EXPECT_EQ(f.initItems, 1);
  EXPECT_EQ(f.bytesSent, 1234);
  EXPECT_DOUBLE_EQ(f.seconds, 1.5);
  EXPECT_EQ(f.outcome, std::optional<std::string>("verified"));
  EXPECT_EQ(f.versionBefore, std::optional<std::string>("1.0"));
  EXPECT_EQ(f.versionAfter, std::optional<std::string>(""));

  HistoryFilter byPrinter;
  byPrinter.printer = "P1";
  ASSERT_FALSE(history.Read(byPrinter, rows).Failed());
  EXPECT_EQ(rows.size(), 2u);
  HistoryFilter recent;
  recent.since = QDateTime(QDate(2021, 1, 1), QTime(0, 0));
  recent.printer = "P1";
  ASSERT_FALSE(history.Read(recent, rows).Failed());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_GT(rows[0].time, old.time);
}

// The attempt is written when the transfer ends; its verification minutes
// later fills in that row and no other.
TEST(History, AVerificationFillsInItsOwnRowOnly) {
  const std::string dir = quillon_test::MakeTestDir("hist");
  const DownloadHistory history(dir + "/history.sqlite");
  HistoryEntry first = Entry("P1", 0);
  first.versionBefore = "2.00";
  std::int64_t a = -1, b = -1;
  ASSERT_FALSE(history.Record(first, &a).Failed());
  ASSERT_FALSE(history.Record(Entry("P2", 0), &b).Failed());
  ASSERT_NE(a, b);

  ASSERT_FALSE(history.SetVerification(b, "unverified", std::nullopt).Failed());
  ASSERT_FALSE(history.SetVerification(a, "verified", std::string("3.01")).Failed());
  std::vector<HistoryEntry> rows;
  ASSERT_FALSE(history.Read({}, rows).Failed());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].versionBefore, std::optional<std::string>("2.00"));
  EXPECT_EQ(rows[0].versionAfter, std::optional<std::string>("3.01"));
  EXPECT_EQ(rows[0].outcome, std::optional<std::string>("verified"));
  EXPECT_EQ(rows[0].result, 0);
  EXPECT_EQ(rows[1].outcome, std::optional<std::string>("unverified"));
  EXPECT_FALSE(rows[1].versionAfter.has_value());
  EXPECT_FALSE(rows[1].versionBefore.has_value());

  // A row that is not there is a failure, not a silent success, and a
  // history that does not exist is not created by it.
  const platform::Error missing = history.SetVerification(b + 100, "verified", std::string("1"));
  EXPECT_TRUE(missing.Failed());
  EXPECT_NE(missing.detail.find("no row"), std::string::npos) << missing.detail;
  const DownloadHistory none(dir + "/absent/history.sqlite");
  EXPECT_TRUE(none.SetVerification(1, "verified", std::nullopt).Failed());
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(dir + "/absent")));
}

// Writers meeting on a new file: the one turning it to WAL takes it alone.
TEST(History, WritersOnSeveralThreadsEachLeaveTheirRow) {
  const DownloadHistory history(quillon_test::MakeTestDir("hist") + "/history.sqlite");
  constexpr int kWriters = 8, kEach = 10;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (int i = 0; i < kEach; ++i) {
        const platform::Error e = history.Record(Entry("P" + std::to_string(w), 0));
        EXPECT_FALSE(e.Failed()) << e.detail;
      }
    });
  }
  for (auto& t : writers) t.join();
  std::vector<HistoryEntry> rows;
  ASSERT_FALSE(history.Read({}, rows).Failed());
  EXPECT_EQ(rows.size(), static_cast<std::size_t>(kWriters * kEach));
}

TEST(History, ACorruptDatabaseIsAFailureWithItsCauseAndIsLeftAsItWas) {
  const std::string path = quillon_test::MakeTestDir("hist") + "/history.sqlite";
  const std::string junk(8192, 'Z');
  ASSERT_TRUE(quillon_test::WriteFileBytes(path, junk));
  const DownloadHistory history(path);
  const platform::Error e = history.Record(Entry("P1", 0));
  ASSERT_TRUE(e.Failed());
  EXPECT_NE(e.detail.find("not a database"), std::string::npos) << e.detail;
  std::vector<HistoryEntry> rows;
  EXPECT_TRUE(history.Read({}, rows).Failed());
  EXPECT_EQ(quillon_test::ReadFileBytes(path), junk);
}

namespace {

// Runs sql on the file through a connection of the test's own.
bool Sql(const std::string& path, const std::vector<std::string>& statements,
         std::vector<std::string>* firstColumn = nullptr) {
  bool ok = true;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("test-sql"));
    db.setDatabaseName(QString::fromStdString(path));
    ok = db.open();
    QSqlQuery q(db);
    for (const std::string& s : statements) {
      if (!ok) break;
      ok = q.exec(QString::fromStdString(s));
      while (ok && firstColumn && q.next()) firstColumn->push_back(q.value(1).toString().toStdString());
    }
    q.finish();
    db.close();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("test-sql"));
  return ok;
}

// The table as the first released version wrote it, with one row.
const char kFirstTable[] =
    "CREATE TABLE downloads (id INTEGER PRIMARY KEY, time TEXT NOT NULL, user TEXT NOT NULL,"
    " package TEXT NOT NULL, sha256 TEXT, description TEXT, version TEXT, printer TEXT NOT NULL,"
    " route TEXT, model TEXT, init_items INTEGER, result INTEGER NOT NULL, detail TEXT,"
    " bytes_sent INTEGER NOT NULL, seconds REAL NOT NULL, outcome TEXT, version_before TEXT,"
    " version_after TEXT)";

}  // namespace

// A file written before the identity source was recorded: read as it is
// (nothing changed by reading), and given the column on its next write.
TEST(History, AFileOfTheFirstFormReadsAndTakesTheSourceColumnOnItsNextWrite) {
  const std::string path = quillon_test::MakeTestDir("hist") + "/history.sqlite";
  ASSERT_TRUE(Sql(path, {kFirstTable,
                         "INSERT INTO downloads (time, user, package, printer, route, model, result,"
                         " bytes_sent, seconds, outcome, version_before) VALUES"
                         " ('2025-03-04T05:06:07.000Z', 'op', '/fw/OLD.RXF', 'ftp://10.0.0.9/vesta0',"
                         " 'ftp', 'KV3', 0, 99, 2.5, 'verified', '1.00')"}));
  const DownloadHistory history(path);
  std::vector<HistoryEntry> rows;
  const platform::Error read = history.Read({}, rows);
  ASSERT_FALSE(read.Failed()) << read.detail;
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].printer, "ftp://10.0.0.9/vesta0");
  EXPECT_EQ(rows[0].versionBefore, std::optional<std::string>("1.00"));
  EXPECT_FALSE(rows[0].identitySource.has_value());
  std::vector<std::string> columns;
  ASSERT_TRUE(Sql(path, {"PRAGMA table_info(downloads)"}, &columns));
  EXPECT_EQ(std::count(columns.begin(), columns.end(), "identity_source"), 0);

  HistoryEntry now = Entry("P2", 0);
  now.identitySource = "snmp";
  std::int64_t row = -1;
  const platform::Error written = history.Record(now, &row);
  ASSERT_FALSE(written.Failed()) << written.detail;
  ASSERT_FALSE(history.SetVerification(row, "verified", std::string("3.01")).Failed());
  ASSERT_FALSE(history.Record(Entry("P3", 0)).Failed());  // no source: NULL, not ""
  ASSERT_FALSE(history.Read({}, rows).Failed());
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_FALSE(rows[0].identitySource.has_value());
  EXPECT_EQ(rows[0].model, "KV3");
  EXPECT_EQ(rows[1].identitySource, std::optional<std::string>("snmp"));
  EXPECT_EQ(rows[1].versionAfter, std::optional<std::string>("3.01"));
  EXPECT_FALSE(rows[2].identitySource.has_value());
}

// Writers of an old file meet on its migration: each leaves its row.
TEST(History, WritersMigratingTheSameOldFileEachLeaveTheirRow) {
  const std::string path = quillon_test::MakeTestDir("hist") + "/history.sqlite";
  ASSERT_TRUE(Sql(path, {kFirstTable}));
  const DownloadHistory history(path);
  std::vector<std::thread> writers;
  for (int w = 0; w < 6; ++w) {
    writers.emplace_back([&, w] {
      HistoryEntry e = Entry("P" + std::to_string(w), 0);
      e.identitySource = "ipp";
      const platform::Error err = history.Record(e);
      EXPECT_FALSE(err.Failed()) << err.detail;
    });
  }
  for (auto& t : writers) t.join();
  std::vector<HistoryEntry> rows;
  ASSERT_FALSE(history.Read({}, rows).Failed());
  ASSERT_EQ(rows.size(), 6u);
  for (const HistoryEntry& e : rows) EXPECT_EQ(e.identitySource, std::optional<std::string>("ipp"));
}

// The bound is the whole write's: every try and SQLite's wait in each.
TEST(History, ALockedDatabaseIsAFailureAfterABoundedWait) {
  const std::string path = quillon_test::MakeTestDir("hist") + "/history.sqlite";
  DownloadHistory history(path);
  ASSERT_FALSE(history.Record(Entry("P1", 0)).Failed());
  std::int64_t row = -1;
  ASSERT_FALSE(history.Record(Entry("P1", 0), &row).Failed());
  history.BusyTimeoutMs = 1500;
  {
    // Another program holds the write lock and does not let go.
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
    db.setDatabaseName(QString::fromStdString(path));
    ASSERT_TRUE(db.open());
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec(QStringLiteral("BEGIN EXCLUSIVE")));
    for (const bool verify : {false, true}) {
      SCOPED_TRACE(verify ? "verification" : "attempt");
      const auto begin = std::chrono::steady_clock::now();
      const platform::Error e = verify ? history.SetVerification(row, "verified", std::nullopt)
                                       : history.Record(Entry("P2", 0));
      const auto waited = std::chrono::steady_clock::now() - begin;
      EXPECT_TRUE(e.Failed());
      EXPECT_NE(e.detail.find("not written"), std::string::npos) << e.detail;
      EXPECT_NE(e.detail.find("locked"), std::string::npos) << e.detail;
      EXPECT_NE(e.detail.find("1500 ms"), std::string::npos) << e.detail;
      EXPECT_GE(waited, std::chrono::milliseconds(1400));
      // Each try waited the full bound before: twice it and more in all.
      EXPECT_LT(waited, std::chrono::milliseconds(2600));
    }
    q.exec(QStringLiteral("ROLLBACK"));
    q = QSqlQuery();
    db.close();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("holder"));
  // Free again: the next attempt is written.
  EXPECT_FALSE(history.Record(Entry("P3", 0)).Failed());
  std::vector<HistoryEntry> rows;
  ASSERT_FALSE(history.Read({}, rows).Failed());
  EXPECT_EQ(rows.size(), 3u);
  EXPECT_FALSE(rows[1].outcome.has_value());
}

}  // namespace
