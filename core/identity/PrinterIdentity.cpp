#include "core/identity/PrinterIdentity.h"

#include <algorithm>
#include <chrono>
#include <regex>

#include "core/app/ModelTable.h"
#include "platform/IppAttributes.h"
#include "platform/ProfileFile.h"

namespace quillon::identity {

const char kSection[] = "Identity";
const char kFirmwareSection[] = "SnmpFirmware";

namespace {

const char kSysDescr[] = "1.3.6.1.2.1.1.1.0";
const char kSysUpTime[] = "1.3.6.1.2.1.1.3.0";
const char kHrDeviceDescr[] = "1.3.6.1.2.1.25.3.2.1.3.";
const char kPrtSerial[] = "1.3.6.1.2.1.43.5.1.1.17.";
const char kPpmDeviceId[] = "1.3.6.1.4.1.2699.1.2.1.2.1.1.3.";

std::string Trim(std::string s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; };
  while (!s.empty() && blank(s.back())) s.pop_back();
  std::size_t i = 0;
  while (i < s.size() && blank(s[i])) ++i;
  return s.substr(i);
}

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

bool ParseBound(const std::string& text, int low, int high, int& value) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  const int v = std::stoi(text);
  if (v < low || v > high) return false;
  value = v;
  return true;
}

// "key" from the host's section, else from [Identity]; fallback when neither.
std::string Setting(const platform::ProfileFile& ini, const std::string& host, const char* key,
                    const std::string& fallback) {
  const std::string own = std::string(kSection) + " " + host;
  if (!host.empty() && ini.HasKey(own, key)) return ini.ReadString(own, key, fallback);
  if (ini.HasKey(kSection, key)) return ini.ReadString(kSection, key, fallback);
  return fallback;
}

void AddError(std::string& error, const std::string& text) {
  error += (error.empty() ? "" : "; ") + text;
}

std::string Candidate(const std::string& mfg, const std::string& mdl) {
  if (mfg.empty() || mdl.empty()) return std::string();
  // Some printers repeat the maker in MDL.
  if (Upper(mdl).rfind(Upper(mfg), 0) == 0) return mdl;
  return mfg + " " + mdl;
}

void AskIpp(const std::string& host, const std::string& scheme, const Config& c,
            const TDLPrinterList& models, const std::function<bool()>& abort, Answer& a) {
  std::string h = host;
  if (h.find(':') != std::string::npos && h.front() != '[') h = "[" + h + "]";
  const std::string uri = scheme + "://" + h + ":" + std::to_string(c.ippPort) + c.ippPath;
  const platform::ipp::Reply r = platform::ipp::GetPrinterAttributes(uri, c.timeoutMs, c.retries, abort);
  if (r.error.Failed()) {
    const int code = r.error.code;
    a.failures.push_back({"ipp",
                          code == platform::ipp::kIppAborted   ? "interrupted"
                          : code == platform::ipp::kIppRefused ? "refused"
                          : code == platform::ipp::kIppSetup   ? "setup"
                                                               : "no_answer",
                          r.error.detail, code, {}});
    if (code == platform::ipp::kIppAborted) a.interrupted = true;
    return;
  }
  const platform::ipp::PrinterAttributes& p = r.attributes;
  const std::string mdl = DeviceIdField(p.deviceId, "MDL");
  const std::string mfg = DeviceIdField(p.deviceId, "MFG");
  const std::string model = TableModel(models, {mdl, p.makeAndModel, Candidate(mfg, mdl)});
  if (model.empty()) {
    a.failures.push_back({"ipp", "no_model", uri + " answered without a model", 0, {}});
    return;
  }
  a.reachable = true;
  a.source = "ipp";
  a.model = model;
  a.uuid = p.uuid;
  a.uptimeSeconds = p.upTime;
  a.state = p.state;
  a.stateReasons = p.stateReasons;
  const int main = MainFirmwareIndex(p.firmwareNames);
  if (main >= 0 && static_cast<std::size_t>(main) < p.firmwareStrings.size()) {
    a.version = p.firmwareStrings[static_cast<std::size_t>(main)];
  } else if (main >= 0 && static_cast<std::size_t>(main) < p.firmwareVersions.size()) {
    a.version = p.firmwareVersions[static_cast<std::size_t>(main)];
  } else {
    a.versionDetail = "the printer reports no printer-firmware-string-version";
  }
}

void AskSnmp(const std::string& host, const Config& c, const TDLPrinterList& models,
             const std::function<bool()>& abort, Answer& a) {
  platform::snmp::Target t = c.snmp;
  t.host = host;
  t.timeoutMs = c.timeoutMs;
  t.retries = c.retries;
  const std::string n = std::to_string(c.snmpIndex);
  const std::vector<std::string> oids = {kSysDescr, kSysUpTime, kHrDeviceDescr + n, kPrtSerial + n,
                                         kPpmDeviceId + n};
  platform::snmp::Reply r = platform::snmp::Get(t, oids, abort);
  if (r.error.Failed()) {
    const int code = r.error.code;
    std::string kind = "no_answer", cause = r.error.detail;
    if (code == platform::snmp::kSnmpAuth) {
      kind = "auth";
    } else if (code == platform::snmp::kSnmpSetup) {
      kind = "setup";
    } else if (code == platform::snmp::kSnmpAborted) {
      kind = "interrupted";
      a.interrupted = true;
    } else if (code == platform::snmp::kSnmpAgentError) {
      kind = "refused";
    } else if (t.version == "3") {
      cause = "no answer (no agent, or a wrong privacy password): " + cause;
    } else {
      // v2c: an agent drops a request with a community it does not know.
      cause = "no answer (wrong community or no agent): " + cause;
    }
    a.failures.push_back({"snmp", kind, cause, code, {}});
    return;
  }
  const auto value = [&](const std::string& oid) {
    const auto it = r.values.find(oid);
    return it == r.values.end() ? std::string() : Trim(it->second);
  };
  const std::string sysDescr = value(kSysDescr);
  const std::string deviceId = value(kPpmDeviceId + n);
  const std::string mdl = DeviceIdField(deviceId, "MDL");
  const std::string mfg = DeviceIdField(deviceId, "MFG");
  const std::string model =
      TableModel(models, {mdl, Candidate(mfg, mdl), value(kHrDeviceDescr + n), sysDescr});
  if (model.empty()) {
    a.failures.push_back({"snmp", "no_model", "the agent answered without a model", 0, {}});
    return;
  }
  a.reachable = true;
  a.source = "snmp";
  a.model = model;
  a.serial = value(kPrtSerial + n);
  const std::string ticks = value(kSysUpTime);
  if (!ticks.empty() && ticks.find_first_not_of("0123456789") == std::string::npos)
    a.uptimeSeconds = std::stoll(ticks) / 100;
  // The row may name the model as the table spells it or as the agent does.
  std::string rule;
  for (const std::string& name : {model, Candidate(mfg, mdl), mdl, value(kHrDeviceDescr + n)}) {
    if (rule.empty() && !name.empty()) rule = FirmwareRule(c, name, false);
  }
  if (rule.empty()) rule = FirmwareRule(c, model);
  if (rule.rfind("oid:", 0) == 0) {
    const std::string oid = Trim(rule.substr(4));
    platform::snmp::Reply v = platform::snmp::Get(t, {oid}, abort);
    if (v.error.Failed()) {
      a.versionDetail = "the firmware object " + oid + ": " + v.error.detail;
      if (v.error.code == platform::snmp::kSnmpAborted) a.interrupted = true;
    } else if (v.values.count(oid)) {
      a.version = Trim(v.values[oid]);
    } else {
      a.versionDetail = "the agent has no object " + oid;
    }
  } else if (rule.rfind("sysdescr:", 0) == 0) {
    a.version = VersionFromText(sysDescr, rule.substr(9));
    if (a.version.empty()) a.versionDetail = "sysDescr does not match the [SnmpFirmware] pattern";
  } else {
    a.versionDetail = "no [SnmpFirmware] row says where " + model + " keeps its version";
  }
}

}  // namespace

bool ParseOrder(const std::string& text, std::vector<std::string>& order, std::string& error) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t comma = std::min(text.find(',', at), text.size());
    const std::string name = Trim(text.substr(at, comma - at));
    if (name != "console" && name != "ipp" && name != "ipps" && name != "snmp") {
      error = "unknown identity source \"" + name + "\" (console, ipp, ipps, snmp)";
      return false;
    }
    if (std::find(out.begin(), out.end(), name) != out.end()) {
      error = "identity source " + name + " given twice";
      return false;
    }
    out.push_back(name);
    at = comma + 1;
  }
  order = out;
  return true;
}

bool SplitProtocolPass(const std::string& text, std::string& protocol, std::string& pass) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  protocol = text.substr(0, colon);
  pass = text.substr(colon + 1);
  return true;
}

Config ReadConfig(const platform::ProfileFile& ini, const std::string& host, std::string& error) {
  Config c;
  const std::string order = Setting(ini, host, "Order", "");
  if (!order.empty() && !ParseOrder(order, c.order, error)) error = "[Identity] Order: " + error;
  const struct {
    const char* key;
    int low, high;
    int* value;
  } numbers[] = {{"TimeoutMs", 100, 60000, &c.timeoutMs}, {"Retries", 0, 5, &c.retries},
                 {"IppPort", 1, 65535, &c.ippPort},     {"SnmpPort", 1, 65535, &c.snmp.port},
                 {"SnmpIndex", 1, 65535, &c.snmpIndex}};
  for (const auto& n : numbers) {
    const std::string text = Trim(Setting(ini, host, n.key, ""));
    if (!text.empty() && !ParseBound(text, n.low, n.high, *n.value))
      AddError(error, std::string("[Identity] ") + n.key + "=" + text + " is not a number " +
                          std::to_string(n.low) + " to " + std::to_string(n.high));
  }
  c.ippPath = Setting(ini, host, "IppPath", c.ippPath);
  if (c.ippPath.empty() || c.ippPath.front() != '/') c.ippPath = "/" + c.ippPath;
  c.snmp.version = Trim(Setting(ini, host, "SnmpVersion", c.snmp.version));
  if (c.snmp.version == "v3") c.snmp.version = "3";
  if (c.snmp.version == "v2c" || c.snmp.version == "2") c.snmp.version = "2c";
  c.snmp.community = Setting(ini, host, "SnmpCommunity", "");
  c.snmp.user = Setting(ini, host, "SnmpUser", "");
  const std::string auth = Setting(ini, host, "SnmpAuth", "");
  if (!auth.empty() && !SplitProtocolPass(auth, c.snmp.authProtocol, c.snmp.authPass))
    AddError(error, "[Identity] SnmpAuth takes PROTOCOL:PASSWORD");
  const std::string priv = Setting(ini, host, "SnmpPriv", "");
  if (!priv.empty() && !SplitProtocolPass(priv, c.snmp.privProtocol, c.snmp.privPass))
    AddError(error, "[Identity] SnmpPriv takes PROTOCOL:PASSWORD");
  for (const std::string& key : ini.ReadKeys(kFirmwareSection))
    c.snmpFirmware.emplace_back(key, ini.ReadString(kFirmwareSection, key, ""));
  return c;
}

std::string DeviceIdField(const std::string& deviceId, const std::string& key) {
  const std::string want = Upper(key);
  const std::string alias = want == "MDL" ? "MODEL" : want == "MFG" ? "MANUFACTURER" : want;
  std::size_t at = 0;
  while (at < deviceId.size()) {
    std::size_t end = deviceId.find(';', at);
    if (end == std::string::npos) end = deviceId.size();
    const std::string field = deviceId.substr(at, end - at);
    const std::size_t colon = field.find(':');
    if (colon != std::string::npos) {
      const std::string name = Upper(Trim(field.substr(0, colon)));
      if (name == want || name == alias) return Trim(field.substr(colon + 1));
    }
    at = end + 1;
  }
  return std::string();
}

int MainFirmwareIndex(const std::vector<std::string>& names) {
  if (names.empty()) return -1;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string n = Upper(names[i]);
    if (n.find("FIRMWARE") != std::string::npos || n.find("SYSTEM") != std::string::npos ||
        n.find("MAIN") != std::string::npos)
      return static_cast<int>(i);
  }
  return 0;
}

std::string VersionFromText(const std::string& text, const std::string& pattern) {
  try {
    const std::regex re(pattern, std::regex::ECMAScript | std::regex::icase);
    std::smatch m;
    if (!std::regex_search(text, m, re)) return std::string();
    return Trim(m.size() > 1 && m[1].matched ? m[1].str() : m[0].str());
  } catch (const std::regex_error&) {
    return std::string();
  }
}

std::string TableModel(const TDLPrinterList& models, const std::vector<std::string>& candidates) {
  for (const std::string& c : candidates) {
    const std::string t = Trim(c);
    if (t.empty()) continue;
    const int at = models.IndexOf(t);
    if (at >= 0) return models.Item(static_cast<std::size_t>(at))->Name;
  }
  for (const std::string& c : candidates) {
    const std::string t = Trim(c);
    if (!t.empty()) return t;
  }
  return std::string();
}

std::string FirmwareRule(const Config& config, const std::string& model, bool orDefault) {
  std::string fallback;
  for (const auto& row : config.snmpFirmware) {
    if (Upper(Trim(row.first)) == Upper(Trim(model))) return Trim(row.second);
    if (Trim(row.first) == "*") fallback = Trim(row.second);
  }
  return orDefault ? fallback : std::string();
}

Answer Identify(const std::string& host, const Config& config, const TDLPrinterList& models,
                const ConsoleAsk& console, const std::function<bool()>& abort) {
  Answer a;
  const auto begin = std::chrono::steady_clock::now();
  for (const std::string& source : config.order) {
    if (a.interrupted || (abort && abort())) {
      a.interrupted = true;
      break;
    }
    if (source == "console") {
      if (!console) continue;
      const ConsoleReply r = console(host);
      if (r.reachable) {
        a.reachable = true;
        a.source = "console";
        a.model = TableModel(models, {r.model});
        a.version = r.version;
      } else {
        a.failures.push_back(
            {"console", r.interrupted ? "interrupted" : "no_answer", r.cause, r.code, r.detail});
        a.interrupted = r.interrupted;
      }
    } else if (source == "ipp" || source == "ipps") {
      AskIpp(host, source, config, models, abort, a);
    } else if (source == "snmp") {
      AskSnmp(host, config, models, abort, a);
    }
    if (a.reachable) break;
  }
  a.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  return a;
}

}  // namespace quillon::identity
