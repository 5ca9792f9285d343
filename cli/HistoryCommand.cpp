// history: the download history, every attempt with its outcome, oldest
// first; --printer and --since narrow it.
#include <QDateTime>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/BareHost.h"
#include "cli/HostList.h"
#include "platform/Text.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/JsonOut.h"
#include "cli/Output.h"
#include "core/history/DownloadHistory.h"
#include "core/transfer/PrinterTarget.h"

using quillon::PrinterTarget;

namespace cli {
namespace {

void AddOptional(JsonLine& line, const std::string& key, const std::optional<std::string>& v) {
  if (v)
    line.Add(key, *v);
  else
    line.AddNull(key);
}

std::string JsonRow(const quillon::HistoryEntry& e) {
  JsonLine line;
  line.Add("schema", kSchemaHistory).Add("time", e.time.toUTC().toString(Qt::ISODateWithMs).toStdString())
      .Add("user", e.user)
      .Add("package", e.packagePath);
  if (e.sha256.empty())
    line.AddNull("sha256");
  else
    line.Add("sha256", e.sha256);
  line.Add("description", e.description)
      .Add("version", e.version)
      .Add("printer", e.printer)
      .Add("route", e.route)
      .Add("model", e.model);
  if (e.initItems)
    line.Add("init_items", *e.initItems);
  else
    line.AddNull("init_items");
  line.Add("result", e.result)
      .Add("detail", e.detail)
      .Add("bytes", static_cast<std::int64_t>(e.bytesSent))
      .AddNumber("seconds", e.seconds, 3);
  AddOptional(line, "outcome", e.outcome);
  AddOptional(line, "version_before", e.versionBefore);
  AddOptional(line, "version_after", e.versionAfter);
  AddOptional(line, "identity_source", e.identitySource);
  return line.Text();
}

std::string OrDash(const std::optional<std::string>& v) {
  return v && !v->empty() ? *v : std::string("-");
}

std::string TextRow(const quillon::HistoryEntry& e) {
  char secs[32];
  std::snprintf(secs, sizeof secs, "%.1f", e.seconds);
  return e.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString() +
         "\t" + e.printer + "\t" + e.route + "\t" + std::to_string(e.result) + "\t" +
         std::to_string(e.bytesSent) + "\t" + secs + "\t" +
         (e.initItems ? std::to_string(*e.initItems) : std::string("-")) + "\t" + e.user +
         "\t" + e.packagePath + "\t" + e.version + "\t" + OrDash(e.versionBefore) + "\t" +
         OrDash(e.versionAfter) + "\t" + OrDash(e.outcome) + "\t" + OrDash(e.identitySource) +
         "\t" + e.detail;
}

}  // namespace

bool ParseSince(const std::string& text, QDateTime& since) {
  const QString t = QString::fromStdString(text).trimmed();
  // A date alone is that day's midnight, local time.
  const QDate day = QDate::fromString(t, Qt::ISODate);
  if (day.isValid() && t.size() == 10) {
    since = QDateTime(day, QTime(0, 0));
    return true;
  }
  QString full = t;
  if (full.size() > 10 && full[10] == QLatin1Char(' ')) full[10] = QLatin1Char('T');
  since = QDateTime::fromString(full, Qt::ISODateWithMs);
  if (!since.isValid()) since = QDateTime::fromString(full, Qt::ISODate);
  return since.isValid();
}

int RunHistory(const Options& o) {
  quillon::HistoryFilter filter;
  if (!o.since.empty() && !ParseSince(o.since, filter.since)) {
    ErrLine("--since takes a date or a date and time: 2026-01-31 or 2026-01-31T08:00[:00]");
    return kExitInput;
  }
  const quillon::DownloadHistory history;
  std::vector<quillon::HistoryEntry> rows;
  const platform::Error read = history.Read(filter, rows);
  if (read.Failed()) {
    ErrLine("the download history cannot be read: " + read.detail);
    return kExitInput;
  }
  // One printer however it was spelt, in the rows and on the command line:
  // rows written before the spelling was canonical still match.
  if (!o.printers.empty()) {
    const std::string& wanted = o.printers.front();
    // A bare host (no scheme) also names the FTP printers on that host,
    // whatever their folder or port.
    const bool byHost = wanted.find("://") == std::string::npos && LooksLikeBareHost(wanted);
    const auto sameHost = [&](const std::string& printer) {
      return byHost && printer.find("://") != std::string::npos &&
             platform::LowerAscii(HostOfPrinterName(printer)) == platform::LowerAscii(wanted);
    };
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [&](const quillon::HistoryEntry& e) {
                                return !PrinterTarget::SameTarget(e.printer, wanted) &&
                                       !sameHost(e.printer);
                              }),
               rows.end());
  }
  if (!o.json) OutLine("TIME\tPRINTER\tROUTE\tRESULT\tBYTES\tSECONDS\tINIT\tUSER\tPACKAGE\tVERSION"
                       "\tBEFORE\tAFTER\tVERIFICATION\tSOURCE\tDETAIL");
  for (const quillon::HistoryEntry& e : rows) OutLine(o.json ? JsonRow(e) : TextRow(e));
  return kExitOk;
}

}  // namespace cli
