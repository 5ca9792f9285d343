#pragma once
// The download history: one row per attempt, success or failure, in an
// SQLite database in the data folder ("history.sqlite"). The window and
// any number of quillon-cli runs may write at once: write-ahead journal,
// a bounded wait for a busy database, and one connection per call (so per
// thread) under a name of its own. A history that cannot be written never
// stops a download: Record says why, and the caller tells the operator.

#include <QDateTime>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace quillon {

struct HistoryEntry {
  QDateTime time;             // when the attempt ended (kept as UTC)
  std::string user;
  std::string packagePath;    // absolute
  std::string sha256;         // of the package's firmware data; empty: none
  std::string description;
  std::string version;
  std::string printer;
  std::string route;          // "spooler" or "ftp"
  std::string model;
  std::optional<int> initItems;   // none: no restart command sent
  int result = 0;                 // the download result code (0 success)
  std::string detail;
  std::int64_t bytesSent = 0;
  double seconds = 0;
  // Filled by whoever verifies the printer afterwards; none until then.
  std::optional<std::string> outcome;
  std::optional<std::string> versionBefore;
  std::optional<std::string> versionAfter;
  // Which source told the model and version before (console, ipp, ipps,
  // snmp); none for rows written before the sources, or when none answered.
  std::optional<std::string> identitySource;
};

struct HistoryFilter {
  std::string printer;        // empty: every printer
  QDateTime since;            // invalid: from the beginning
};

class DownloadHistory {
 public:
  // path empty: DefaultPath().
  explicit DownloadHistory(std::string path = std::string());

  const std::string& Path() const { return path_; }
  // "history.sqlite" in the program's data folder, beside DownLoad.log.
  static std::string DefaultPath();

  // How long a write waits for another writer before it gives up: the
  // whole write, not each try. A failure then says what was not written.
  int BusyTimeoutMs = 3000;

  // rowId, when given, receives the new row's id (for SetVerification).
  platform::Error Record(const HistoryEntry& entry, std::int64_t* rowId = nullptr) const;
  // Fills in a recorded row's verification once it ended: outcome and the
  // version the printer reported afterwards (none: it never answered).
  // The row is written first, so a run that ends while it waits for the
  // printer's restart still leaves the attempt behind.
  platform::Error SetVerification(std::int64_t rowId, const std::string& outcome,
                                  const std::optional<std::string>& versionAfter) const;
  // Oldest first. A missing database is an empty history.
  platform::Error Read(const HistoryFilter& filter, std::vector<HistoryEntry>& rows) const;

 private:
  // busy: the file was held by another connection, worth another try.
  // busyMs: SQLite's own wait for a busy database in this try.
  platform::Error RecordOnce(const HistoryEntry& entry, std::int64_t* rowId, bool& busy,
                             int busyMs) const;
  platform::Error VerifyOnce(std::int64_t rowId, const std::string& outcome,
                             const std::optional<std::string>& versionAfter, bool& busy,
                             int busyMs) const;
  // Runs one write again while the database is busy, within BusyTimeoutMs
  // in all; `what` names the write in the failure.
  platform::Error Retried(const std::string& what,
                          const std::function<platform::Error(bool&, int)>& once) const;

  std::string path_;
};

// The user running the program (login name, else the numeric id).
std::string CurrentUserName();

}  // namespace quillon
