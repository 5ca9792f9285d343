#include "core/history/DownloadHistory.h"

#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QThread>
#include <QVariant>

#include <algorithm>
#include <atomic>

#include "core/package/DownDocFile.h"

namespace quillon {
namespace {

constexpr int kHistoryFailed = 1;

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS downloads ("
    " id INTEGER PRIMARY KEY,"
    " time TEXT NOT NULL,"
    " user TEXT NOT NULL,"
    " package TEXT NOT NULL,"
    " sha256 TEXT,"
    " description TEXT,"
    " version TEXT,"
    " printer TEXT NOT NULL,"
    " route TEXT,"
    " model TEXT,"
    " init_items INTEGER,"
    " result INTEGER NOT NULL,"
    " detail TEXT,"
    " bytes_sent INTEGER NOT NULL,"
    " seconds REAL NOT NULL,"
    " outcome TEXT,"
    " version_before TEXT,"
    " version_after TEXT,"
    " identity_source TEXT)";

// Columns added after the first files were written: a file of the older
// form gets them on its next write, and reads as NULL until then.
const struct {
  const char* name;
  const char* type;
} kAddedColumns[] = {{"identity_source", "TEXT"}};

const char kColumns[] =
    "time, user, package, sha256, description, version, printer, route, model, init_items,"
    " result, detail, bytes_sent, seconds, outcome, version_before, version_after";
// The added columns, in kAddedColumns' order, after kColumns.
const char kAddedNames[] = "identity_source";

// Sortable as text: every row is written in the same form, in UTC.
QString TimeText(const QDateTime& t) {
  return t.toUTC().toString(Qt::ISODateWithMs);
}

QVariant Text(const std::string& s) { return QString::fromStdString(s); }

QVariant Optional(const std::optional<std::string>& s) {
  return s ? QVariant(QString::fromStdString(*s)) : QVariant(QMetaType::fromType<QString>());
}

std::optional<std::string> OptionalOf(const QVariant& v) {
  if (v.isNull()) return std::nullopt;
  return v.toString().toStdString();
}

// The columns the table has.
bool TableColumns(QSqlQuery& q, QStringList& columns) {
  if (!q.exec(QStringLiteral("PRAGMA table_info(downloads)"))) return false;
  while (q.next()) columns << q.value(1).toString();
  q.finish();
  return true;
}

platform::Error SqlFailure(const std::string& what, const QSqlError& e) {
  return platform::Error::Of(kHistoryFailed, what + ": " + e.text().toStdString());
}

// SQLite's busy handler is not asked in every case: a connection that
// turns a new file to WAL, or one that meets another's recovery, is told
// "locked" at once. Those are worth another try; nothing else is.
bool IsBusy(const QSqlError& e) {
  bool ok = false;
  const int code = e.nativeErrorCode().toInt(&ok) & 0xff;
  return ok && (code == 5 /* SQLITE_BUSY */ || code == 6 /* SQLITE_LOCKED */);
}

// One connection of this call alone: a name no other thread uses, closed
// and removed again when the call ends.
class Connection {
 public:
  Connection(const std::string& path, int busyMs, bool readOnly) {
    static std::atomic<unsigned> counter{0};
    name_ = QStringLiteral("quillon-history-%1").arg(counter.fetch_add(1));
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
      error_ = platform::Error::Of(kHistoryFailed, "the SQLite driver of Qt SQL is not installed");
      return;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    added_ = true;
    db.setDatabaseName(QString::fromStdString(path));
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyMs);
    if (readOnly) options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    db.setConnectOptions(options);
    if (!db.open()) {
      error_ = SqlFailure("cannot open " + path, db.lastError());
      busy_ = IsBusy(db.lastError());
    }
  }
  ~Connection() {
    if (!added_) return;
    {
      QSqlDatabase db = QSqlDatabase::database(name_, false);
      db.close();
    }
    QSqlDatabase::removeDatabase(name_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const platform::Error& Error() const { return error_; }
  bool Busy() const { return busy_; }
  QSqlDatabase Db() const { return QSqlDatabase::database(name_, false); }

 private:
  QString name_;
  bool added_ = false;
  bool busy_ = false;
  platform::Error error_;
};

}  // namespace

DownloadHistory::DownloadHistory(std::string path)
    : path_(path.empty() ? DefaultPath() : std::move(path)) {}

std::string DownloadHistory::DefaultPath() {
  // Beside DownLoad.log and the model icons.
  return TDownDocFile::DefaultIconFolder() + "history.sqlite";
}

platform::Error DownloadHistory::Retried(const std::string& what,
                                        const std::function<platform::Error(bool&, int)>& once) const {
  // The whole write, every try and SQLite's own busy wait in each, stays
  // within BusyTimeoutMs: a stuck holder of the database ends it, nothing
  // else needs to.
  QElapsedTimer waited;
  waited.start();
  const int bound = std::max(0, BusyTimeoutMs);
  for (int attempt = 0;; ++attempt) {
    bool busy = false;
    const int left = std::max<qint64>(0, bound - waited.elapsed());
    platform::Error err = once(busy, static_cast<int>(left));
    if (!err.Failed()) return err;
    err.detail = what + " was not written: " + err.detail;
    if (!busy) return err;
    if (waited.elapsed() >= bound) {
      err.detail += " (another program held " + path_ + " for longer than " +
                    std::to_string(bound) + " ms)";
      return err;
    }
    // Short and growing, so writers that met at once part again.
    const qint64 pause = std::min<qint64>(std::min(5 + 10 * attempt, 100),
                                          std::max<qint64>(1, bound - waited.elapsed()));
    QThread::msleep(static_cast<unsigned long>(pause));
  }
}

platform::Error DownloadHistory::Record(const HistoryEntry& e, std::int64_t* rowId) const {
  const QString folder = QFileInfo(QString::fromStdString(path_)).absolutePath();
  if (!QDir().mkpath(folder))
    return platform::Error::Of(kHistoryFailed, "the attempt was not written: cannot create the folder " +
                                                   folder.toStdString());
  return Retried("the attempt", [&](bool& busy, int busyMs) { return RecordOnce(e, rowId, busy, busyMs); });
}

platform::Error DownloadHistory::SetVerification(std::int64_t rowId, const std::string& outcome,
                                                 const std::optional<std::string>& after) const {
  return Retried("the verification", [&](bool& busy, int busyMs) {
    return VerifyOnce(rowId, outcome, after, busy, busyMs);
  });
}

platform::Error DownloadHistory::VerifyOnce(std::int64_t rowId, const std::string& outcome,
                                            const std::optional<std::string>& after,
                                            bool& busy, int busyMs) const {
  if (!QFileInfo::exists(QString::fromStdString(path_)))
    return platform::Error::Of(kHistoryFailed, "history " + path_ + ": no such file");
  const Connection c(path_, busyMs, false);
  if (c.Error().Failed()) {
    busy = c.Busy();
    return c.Error();
  }
  QSqlQuery q(c.Db());
  q.prepare(QStringLiteral("UPDATE downloads SET outcome = ?, version_after = ? WHERE id = ?"));
  q.addBindValue(Text(outcome));
  q.addBindValue(Optional(after));
  q.addBindValue(QVariant::fromValue<qlonglong>(rowId));
  if (!q.exec()) {
    busy = IsBusy(q.lastError());
    return SqlFailure("history " + path_, q.lastError());
  }
  if (q.numRowsAffected() != 1)
    return platform::Error::Of(kHistoryFailed,
                               "history " + path_ + ": no row " + std::to_string(rowId));
  return platform::Error::Ok();
}

platform::Error DownloadHistory::RecordOnce(const HistoryEntry& e, std::int64_t* rowId,
                                            bool& busy, int busyMs) const {
  const Connection c(path_, busyMs, false);
  if (c.Error().Failed()) {
    busy = c.Busy();
    return c.Error();
  }
  QSqlQuery q(c.Db());
  const auto failed = [&](const QSqlError& error) {
    busy = IsBusy(error);
    return SqlFailure("history " + path_, error);
  };
  // Readers never block writers in this mode, and it stays with the file;
  // only a file not yet in it needs the switch, which takes the file alone.
  if (!q.exec(QStringLiteral("PRAGMA journal_mode"))) return failed(q.lastError());
  const bool wal = q.next() && q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
  q.finish();
  if (!wal && !q.exec(QStringLiteral("PRAGMA journal_mode=WAL"))) return failed(q.lastError());
  if (!q.exec(QString::fromLatin1(kSchema))) return failed(q.lastError());
  QStringList columns;
  if (!TableColumns(q, columns)) return failed(q.lastError());
  for (const auto& added : kAddedColumns) {
    if (columns.contains(QLatin1String(added.name))) continue;
    const QString alter = QStringLiteral("ALTER TABLE downloads ADD COLUMN %1 %2")
                              .arg(QLatin1String(added.name), QLatin1String(added.type));
    // Another writer may have added it in between.
    if (!q.exec(alter) && !q.lastError().text().contains(QStringLiteral("duplicate column")))
      return failed(q.lastError());
  }

  q.prepare(QStringLiteral("INSERT INTO downloads (%1, %2) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)")
                .arg(QLatin1String(kColumns), QLatin1String(kAddedNames)));
  q.addBindValue(TimeText(e.time.isValid() ? e.time : QDateTime::currentDateTimeUtc()));
  q.addBindValue(Text(e.user));
  q.addBindValue(Text(e.packagePath));
  q.addBindValue(e.sha256.empty() ? QVariant(QMetaType::fromType<QString>()) : Text(e.sha256));
  q.addBindValue(Text(e.description));
  q.addBindValue(Text(e.version));
  q.addBindValue(Text(e.printer));
  q.addBindValue(Text(e.route));
  q.addBindValue(Text(e.model));
  q.addBindValue(e.initItems ? QVariant(*e.initItems) : QVariant(QMetaType::fromType<int>()));
  q.addBindValue(e.result);
  q.addBindValue(Text(e.detail));
  q.addBindValue(QVariant::fromValue<qlonglong>(e.bytesSent));
  q.addBindValue(e.seconds);
  q.addBindValue(Optional(e.outcome));
  q.addBindValue(Optional(e.versionBefore));
  q.addBindValue(Optional(e.versionAfter));
  q.addBindValue(Optional(e.identitySource));
  if (!q.exec()) return failed(q.lastError());
  if (rowId) *rowId = q.lastInsertId().toLongLong();
  return platform::Error::Ok();
}

platform::Error DownloadHistory::Read(const HistoryFilter& f, std::vector<HistoryEntry>& rows) const {
  rows.clear();
  // Without the driver no attempt was ever written either: an empty list
  // would hide that, so it is a failure even before the file exists.
  if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
    return platform::Error::Of(kHistoryFailed, "the SQLite driver of Qt SQL is not installed "
                                               "(Debian: libqt6sql6-sqlite), so no history is kept");
  if (!QFileInfo::exists(QString::fromStdString(path_))) return platform::Error::Ok();
  const Connection c(path_, BusyTimeoutMs, true);
  if (c.Error().Failed()) return c.Error();
  QSqlQuery q(c.Db());
  // A file of the older form is read as it is (a read-only connection
  // changes nothing): its missing columns read as NULL.
  QStringList columns;
  if (!TableColumns(q, columns)) return SqlFailure("history " + path_, q.lastError());
  QString added;
  for (const auto& a : kAddedColumns)
    added += columns.contains(QLatin1String(a.name)) ? QStringLiteral(", %1").arg(QLatin1String(a.name))
                                                     : QStringLiteral(", NULL");
  q.setForwardOnly(true);
  QString sql = QStringLiteral("SELECT %1%2 FROM downloads WHERE 1=1").arg(QLatin1String(kColumns), added);
  if (!f.printer.empty()) sql += QStringLiteral(" AND printer = :printer");
  if (f.since.isValid()) sql += QStringLiteral(" AND time >= :since");
  sql += QStringLiteral(" ORDER BY time, id");
  if (!q.prepare(sql)) {
    // A database written before the table existed holds no downloads.
    if (q.lastError().text().contains(QStringLiteral("no such table"))) return platform::Error::Ok();
    return SqlFailure("history " + path_, q.lastError());
  }
  if (!f.printer.empty()) q.bindValue(QStringLiteral(":printer"), Text(f.printer));
  if (f.since.isValid()) q.bindValue(QStringLiteral(":since"), TimeText(f.since));
  if (!q.exec()) return SqlFailure("history " + path_, q.lastError());
  while (q.next()) {
    HistoryEntry e;
    e.time = QDateTime::fromString(q.value(0).toString(), Qt::ISODateWithMs);
    e.user = q.value(1).toString().toStdString();
    e.packagePath = q.value(2).toString().toStdString();
    e.sha256 = q.value(3).toString().toStdString();
    e.description = q.value(4).toString().toStdString();
    e.version = q.value(5).toString().toStdString();
    e.printer = q.value(6).toString().toStdString();
    e.route = q.value(7).toString().toStdString();
    e.model = q.value(8).toString().toStdString();
    if (!q.value(9).isNull()) e.initItems = q.value(9).toInt();
    e.result = q.value(10).toInt();
    e.detail = q.value(11).toString().toStdString();
    e.bytesSent = q.value(12).toLongLong();
    e.seconds = q.value(13).toDouble();
    e.outcome = OptionalOf(q.value(14));
    e.versionBefore = OptionalOf(q.value(15));
    e.versionAfter = OptionalOf(q.value(16));
    e.identitySource = OptionalOf(q.value(17));
    rows.push_back(std::move(e));
  }
  if (q.lastError().isValid()) return SqlFailure("history " + path_, q.lastError());
  return platform::Error::Ok();
}

std::string CurrentUserName() {
  const uid_t uid = ::geteuid();
  passwd pw{};
  passwd* found = nullptr;
  char buf[4096];
  if (::getpwuid_r(uid, &pw, buf, sizeof buf, &found) == 0 && found && found->pw_name)
    return found->pw_name;
  return std::to_string(uid);
}

}  // namespace quillon
