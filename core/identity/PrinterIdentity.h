#pragma once
// Who a printer is (model, firmware version, serial or UUID, uptime), asked
// of its sources in the admin's order: the maker's console, IPP
// Get-Printer-Attributes, SNMP. The first source that names a model wins;
// the others are not asked. Every request is bounded and cut by the abort.

#include <functional>
#include <string>
#include <vector>

#include "platform/SnmpGet.h"

class TDLPrinterList;
namespace platform { class ProfileFile; }

namespace quillon::identity {

// The settings section and its keys (a section "Identity HOST" overrides
// them for one printer); the per-model place of the SNMP firmware version.
extern const char kSection[];          // "Identity"
extern const char kFirmwareSection[];  // "SnmpFirmware"

struct Config {
  std::vector<std::string> order = {"console", "ipp", "snmp"};  // also "ipps"
  int timeoutMs = 2000;  // each IPP or SNMP request
  int retries = 1;
  int ippPort = 631;
  std::string ippPath = "/ipp/print";
  int snmpIndex = 1;     // the N of hrDeviceDescr.N, prtGeneralSerialNumber.N, ...
  platform::snmp::Target snmp;  // version, community, v3 user and keys, port
  // [SnmpFirmware]: model name -> "oid:1.3.6..." or "sysdescr:REGEX"; key "*"
  // for every model without its own row.
  std::vector<std::pair<std::string, std::string>> snmpFirmware;
};

// The console's part, given by the caller (the CLI's bounded, abortable
// query): reachable with model and version, or its failure in words.
struct ConsoleReply {
  bool reachable = false;
  std::string model;
  std::string version;
  std::string cause;
  int code = 0;        // the network library's code
  std::string detail;  // and its detail
  bool interrupted = false;
};
using ConsoleAsk = std::function<ConsoleReply(const std::string& host)>;

struct SourceFailure {
  std::string source;  // "console", "ipp", "snmp"
  std::string kind;    // "no_answer", "refused", "auth", "setup", "interrupted", "no_model"
  std::string cause;
  int code = 0;  // the layer's code: the console library's ERR_*, platform::ipp or ::snmp's
  std::string detail;  // the console library's detail ("" for the others: see cause)
};

struct Answer {
  bool reachable = false;  // a source named the printer
  std::string source;      // the one that did
  std::string model;       // as the model table knows it where it does
  std::string version;     // "" when that source does not tell it
  std::string versionDetail;  // why the version is not known
  std::string serial;      // SNMP prtGeneralSerialNumber
  std::string uuid;        // IPP printer-uuid
  long long uptimeSeconds = -1;  // printer-up-time or sysUpTime
  std::string state;             // IPP printer-state
  std::vector<std::string> stateReasons;
  std::vector<SourceFailure> failures;  // the sources asked before, or all when none answered
  bool interrupted = false;
  double seconds = 0;
};

// "console,ipp,snmp" (any order, each once; "ipps" for IPP over TLS).
bool ParseOrder(const std::string& text, std::vector<std::string>& order, std::string& error);

// The settings of [Identity] with [Identity HOST] over them, and the rows
// of [SnmpFirmware]. A bad value leaves the default and names itself in
// error (the caller tells it).
Config ReadConfig(const platform::ProfileFile& ini, const std::string& host, std::string& error);
// "SHA:secret" into protocol and pass; false when there is no ":".
bool SplitProtocolPass(const std::string& text, std::string& protocol, std::string& pass);

// The value of an IEEE 1284 device ID field ("MDL" also matches "MODEL",
// "MFG" "MANUFACTURER"), blanks trimmed; "" when absent.
std::string DeviceIdField(const std::string& deviceId, const std::string& key);
// The main entry of IPP's parallel firmware lists: the first whose name
// says firmware, system or main, else the first; -1 for empty lists.
int MainFirmwareIndex(const std::vector<std::string>& names);
// The firmware version from sysDescr by the pattern: the first capture
// group, else the whole match; "" when it does not match or is invalid.
std::string VersionFromText(const std::string& text, const std::string& pattern);
// The first candidate the model table knows (as the table spells it), else
// the first non-empty one.
std::string TableModel(const TDLPrinterList& models, const std::vector<std::string>& candidates);
// The [SnmpFirmware] rule for the model (letter case ignored), else the
// row "*" when orDefault; "" when none.
std::string FirmwareRule(const Config& config, const std::string& model, bool orDefault = true);

// Asks the sources in config.order until one names the printer.
Answer Identify(const std::string& host, const Config& config, const TDLPrinterList& models,
                const ConsoleAsk& console, const std::function<bool()>& abort);

}  // namespace quillon::identity
