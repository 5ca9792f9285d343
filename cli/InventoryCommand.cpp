// inventory: the model and version of many printers, their identity
// sources (console, IPP, SNMP, in the admin's order) asked --jobs at a time.
// JSON lines, or a table with a progress line; optionally a printers file
// for a download batch.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/AppSetup.h"
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/ConsoleProbe.h"
#include "cli/ConsoleText.h"
#include "cli/ExitCodes.h"
#include "cli/HostList.h"
#include "cli/IdentityProbe.h"
#include "cli/JsonOut.h"
#include "cli/Output.h"
#include "cli/Parallel.h"
#include "cli/PrinterLines.h"
#include "cli/Signals.h"
#include "core/app/ModelTable.h"
#include "core/app/QuillonApp.h"
#include "platform/ProfileFile.h"

namespace cli {
namespace {

bool ReadHostsFile(const std::string& path, std::vector<std::string>& args, std::string& error) {
  std::string text;
  if (path == "-") {
    text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      error = "cannot read the host list " + path;
      return false;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::vector<PrinterLine> lines;
  if (!ParsePrinterLines(text, lines, error)) return false;
  for (const PrinterLine& line : lines) args.push_back(line.printer);
  return true;
}

std::string EntryJson(const TModelEntry* e) {
  if (!e) return "null";
  return JsonLine()
      .Add("name", std::string(e->Name))
      .Add("code", std::string(e->CodeText))
      .Add("command", e->Flag == 1)
      .Text();
}

std::string CausesJson(const quillon::identity::Answer& a) {
  std::string out = "[";
  for (const quillon::identity::SourceFailure& f : a.failures) {
    if (out.size() > 1) out += ",";
    out += JsonLine().Add("source", f.source).Add("kind", f.kind).Add("cause", f.cause).Text();
  }
  return out + "]";
}

void PrintTable(const std::vector<std::string>& hosts,
                const std::vector<quillon::identity::Answer>& answers,
                const std::vector<const TModelEntry*>& entries, const std::vector<bool>& asked) {
  std::vector<std::vector<std::string>> rows = {
      {"HOST", "MODEL", "VERSION", "SOURCE", "ENTRY", "SECONDS", "ERROR"}};
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    const quillon::identity::Answer& a = answers[i];
    char secs[32];
    std::snprintf(secs, sizeof secs, "%.1f", a.seconds);
    rows.push_back({hosts[i], a.reachable ? a.model : "-",
                    a.reachable && !a.version.empty() ? a.version : "-",
                    a.reachable ? a.source : "-",
                    entries[i] ? std::string(entries[i]->CodeText) : "-", secs,
                    !asked[i]              ? "not asked (interrupted)"
                    : a.reachable          ? a.versionDetail
                    : a.failures.empty()   ? "no identity source asked"
                                           : CausesText(a)});
  }
  std::vector<std::size_t> width(rows.front().size(), 0);
  for (const auto& row : rows) {
    for (std::size_t c = 0; c + 1 < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
  }
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line += std::string(width[c] - row[c].size() + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    OutLine(line);
  }
}

}  // namespace

int RunInventory(const Options& o) {
  std::vector<std::string> args = o.hosts;
  std::string error;
  if (!o.hostsFrom.empty() && !ReadHostsFile(o.hostsFrom, args, error)) {
    ErrLine(error);
    return kExitInput;
  }
  std::vector<std::string> hosts;
  if (!ExpandHosts(args, hosts, error)) {
    ErrLine(error);
    return kExitInput;
  }
  std::ofstream printersOut;
  if (!o.printersOut.empty()) {
    printersOut.open(o.printersOut, std::ios::binary | std::ios::trunc);
    if (!printersOut) {
      ErrLine("cannot write the printers file " + o.printersOut);
      return kExitInput;
    }
    printersOut << "# printers found by quillon-cli inventory; the comment is the version\n";
  }

  auto app = MakeApp(o);
  const TDLPrinterList& models = *app->Models;
  // Each host's sources and credentials, worked out before any is asked so
  // a bad setting is told once.
  const platform::ProfileFile ini(app->SettingsPath());
  std::vector<quillon::identity::Config> configs;
  std::vector<std::string> settingErrors;
  for (const std::string& host : hosts) {
    std::string bad;
    configs.push_back(IdentityConfigFor(o, ini, host, bad));
    if (!bad.empty() &&
        std::find(settingErrors.begin(), settingErrors.end(), bad) == settingErrors.end()) {
      settingErrors.push_back(bad);
      ErrLine("settings: " + bad);
    }
  }
  std::vector<quillon::identity::Answer> answers(hosts.size());
  std::vector<const TModelEntry*> entries(hosts.size(), nullptr);
  std::vector<bool> asked(hosts.size(), false);
  const bool progress = !o.json && EscapesAllowed() && CurrentVerbosity() != Verbosity::Quiet;
  std::size_t reachable = 0;

  RunParallel(
      hosts.size(), o.jobs, [&](std::size_t i) { answers[i] = AskIdentity(hosts[i], configs[i], models); },
      [&](std::size_t i, bool ran) {
        asked[i] = ran;
        const quillon::identity::Answer& a = answers[i];
        if (a.reachable) {
          ++reachable;
          const int at = models.IndexOf(a.model);
          entries[i] = at >= 0 ? models.Item(static_cast<std::size_t>(at)) : nullptr;
          if (printersOut.is_open())
            printersOut << PrinterLineText(hosts[i], a.model, a.version) << "\n";
        }
        if (!o.json) return;
        JsonLine line;
        line.Add("schema", kSchemaInventory).Add("host", hosts[i]).Add("reachable", a.reachable);
        if (a.reachable) {
          line.Add("model", a.model);
          if (a.version.empty()) {
            line.AddNull("version").Add("version_detail", a.versionDetail);
          } else {
            line.Add("version", a.version);
          }
          line.AddRaw("entry", EntryJson(entries[i])).Add("identity_source", a.source);
          if (!a.serial.empty()) line.Add("serial", a.serial);
          if (!a.uuid.empty()) line.Add("uuid", a.uuid);
          if (a.uptimeSeconds >= 0) line.AddNumber("uptime_seconds", static_cast<double>(a.uptimeSeconds), 0);
          if (!a.state.empty()) line.Add("printer_state", a.state);
          if (!a.stateReasons.empty()) {
            std::string reasons = "[";
            for (const std::string& reason : a.stateReasons)
              reasons += (reasons.size() > 1 ? "," : "") + JsonString(reason);
            line.AddRaw("printer_state_reasons", reasons + "]");
          }
        } else {
          line.AddNull("model").AddNull("version").AddRaw("entry", "null").AddNull("identity_source");
        }
        line.AddNumber("seconds", a.seconds, 3);
        if (!ran) {
          line.Add("error", "not asked (interrupted)");
        } else if (a.interrupted && !a.reachable) {
          line.Add("error", "interrupted");
        } else if (!a.reachable) {
          line.Add("error", a.failures.empty() ? std::string("no identity source asked") : CausesText(a));
          // The console's code and detail, as before there were other sources.
          for (const quillon::identity::SourceFailure& f : a.failures) {
            if (f.source != "console") continue;
            line.Add("code", ErrorCodeText(static_cast<std::uint32_t>(f.code))).Add("detail", f.detail);
          }
        }
        if (!a.failures.empty()) line.AddRaw("causes", CausesJson(a));
        OutLine(line.Text());
      },
      [&](std::size_t finished) {
        if (!progress) return;
        ErrText("\r\033[K" + std::to_string(finished) + "/" + std::to_string(hosts.size()) +
                " asked");
      });
  if (progress) ErrText("\r\033[K");
  if (!o.json) PrintTable(hosts, answers, entries, asked);
  if (printersOut.is_open()) {
    printersOut.flush();
    if (!printersOut) {
      ErrLine("cannot write the printers file " + o.printersOut);
      return kExitSendFailed;
    }
  }
  if (Interrupted()) return kExitAborted;
  if (reachable == hosts.size()) return kExitOk;
  return reachable == 0 ? kExitPrinterOpen : kExitPartial;
}

}  // namespace cli
