#pragma once
// The plan of a download: what a run with the same options would do to
// each printer (send, skip, refused, unreachable), found by the download's
// own checks with nothing sent, no lock taken and nothing recorded; and
// the plan file that --plan applies later, as it was made.
//
// The plan file pins the package by the SHA-256 of the whole file (its
// header decides the targets, the restart and the messages as much as its
// data does) and each printer by what its identity source said it is
// (model, and the serial or UUID where the source tells one).

#include <optional>
#include <string>
#include <vector>

namespace cli {

struct Options;

struct PlannedPrinter {
  std::string printer;  // canonical
  std::string route;    // "ftp" or "spooler"
  std::string plan;     // send, skip, refused, unreachable, not_started
  std::string model;    // the model the checks settled on ("" none)
  std::string lineModel;  // model= of its line, or --model ("" none)
  // Its identity as a source gave it ("" not known).
  std::string consoleModel;    // the model that source named
  std::string serial;          // SNMP prtGeneralSerialNumber
  std::string uuid;            // IPP printer-uuid
  std::string identitySource;  // console, ipp, ipps, snmp
  std::optional<std::string> versionBefore;
  std::optional<int> initItems;  // what the restart resets; none: no restart
  std::string reason;
  std::string message;
  std::string detail;
  int exit = 0;
};

struct PlanPackage {
  std::string path;        // absolute
  std::string sha256;      // of the whole file
  std::string dataSha256;  // of its data, as the history records it
  std::string version;     // DownLoadVersion
};

// The plan value of a download outcome ("succeeded" never occurs).
std::string PlanValueOf(const std::string& outcome);

// One printer's line: JSON, or one line of text.
void PrintPlanLine(const Options& o, const PlannedPrinter& p, const std::string& packageVersion);

// The dry run's exit status: 0 when every printer is sent to or skipped;
// else 8 when it was interrupted, 12 when any is refused (an operator's
// decision is needed whatever the network does), else 5 when any is
// unreachable.
int PlanExit(const std::vector<PlannedPrinter>& printers);

// The lower-case hex SHA-256 of a file's bytes. False with a message.
bool FileSha256(const std::string& path, std::string& hex, std::string& error);

bool WritePlanFile(const std::string& path, const Options& o, const PlanPackage& package,
                   const std::vector<PlannedPrinter>& printers, std::string& error);

// --plan FILE: checks the package, then runs the download of the plan's
// "send" printers with the plan's choices; every other printer keeps its
// planned line. A package that changed refuses the whole plan (exit 12,
// "package_changed"); a plan that cannot be read is an input error.
int ApplyPlan(const Options& o);

// While a plan is applied: the printer as planned, nullptr when o has no plan.
const PlannedPrinter* PlannedOf(const Options& o, const std::string& printer);

// Whether the printer is still the one planned: the model its sources name
// now (answered false when none did) against the plan's, and the serial
// and UUID the plan pinned. A pinned serial or UUID that no source tells
// now cannot be confirmed, and counts as changed. False with why.
bool SameIdentity(const PlannedPrinter& planned, bool answered, const std::string& modelNow,
                  const std::string& serialNow, const std::string& uuidNow, std::string& why);

}  // namespace cli
