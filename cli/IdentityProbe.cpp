#include "cli/IdentityProbe.h"

#include "cli/Arguments.h"
#include "cli/ConsoleProbe.h"
#include "cli/Signals.h"
#include "core/app/QuillonApp.h"
#include "platform/ProfileFile.h"

namespace cli {

quillon::identity::Config IdentityConfigFor(const Options& o, const platform::ProfileFile& ini,
                                   const std::string& host, std::string& error) {
  quillon::identity::Config c = quillon::identity::ReadConfig(ini, host, error);
  if (!o.identityOrder.empty()) c.order = o.identityOrder;
  if (!o.snmpVersion.empty()) c.snmp.version = o.snmpVersion;
  if (o.snmpCommunityGiven) c.snmp.community = o.snmpCommunity;
  if (!o.snmpUser.empty()) c.snmp.user = o.snmpUser;
  if (!o.snmpAuth.empty()) quillon::identity::SplitProtocolPass(o.snmpAuth, c.snmp.authProtocol, c.snmp.authPass);
  if (!o.snmpPriv.empty()) quillon::identity::SplitProtocolPass(o.snmpPriv, c.snmp.privProtocol, c.snmp.privPass);
  // v3 credentials on the command line mean v3, unless a version is given.
  if (o.snmpVersion.empty() && !o.snmpUser.empty()) c.snmp.version = "3";
  return c;
}

quillon::identity::Answer AskIdentity(const std::string& host, const quillon::identity::Config& config,
                             const TDLPrinterList& models) {
  const quillon::identity::ConsoleAsk console = [](const std::string& h) {
    const ConsoleAnswer a = AskConsole(h);
    quillon::identity::ConsoleReply r;
    r.reachable = a.reachable;
    r.model = a.model;
    r.version = a.version;
    r.interrupted = !a.reachable && a.message == "interrupted";
    r.code = static_cast<int>(a.error);
    r.detail = a.detail;
    r.cause = a.reachable ? std::string() : a.message + (a.detail.empty() ? "" : ": " + a.detail);
    return r;
  };
  return quillon::identity::Identify(host, config, models, console, [] { return Interrupted(); });
}

quillon::identity::Answer AskIdentity(const std::string& host, const Options& options,
                             const TQUILLONApp& app, std::string* settingsError) {
  const platform::ProfileFile ini(app.SettingsPath());
  std::string error;
  const quillon::identity::Config config = IdentityConfigFor(options, ini, host, error);
  if (settingsError) *settingsError = error;
  return AskIdentity(host, config, *app.Models);
}

std::string CausesText(const quillon::identity::Answer& a) {
  std::string out;
  for (const quillon::identity::SourceFailure& f : a.failures)
    out += (out.empty() ? "" : "; ") + f.source + ": " + f.cause;
  return out;
}

ConsoleAnswer AsConsoleAnswer(const quillon::identity::Answer& a) {
  ConsoleAnswer c;
  c.reachable = a.reachable;
  c.seconds = a.seconds;
  if (a.reachable) {
    c.model = a.model;
    c.version = a.version;
    return c;
  }
  for (const quillon::identity::SourceFailure& f : a.failures) {
    if (f.source != "console") continue;
    c.error = static_cast<std::uint32_t>(f.code);
    c.detail = f.detail;
  }
  c.message = a.interrupted ? std::string("interrupted") : CausesText(a);
  return c;
}

}  // namespace cli
