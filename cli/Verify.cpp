#include "cli/Verify.h"

#include <chrono>
#include <thread>

#include "cli/ConsoleProbe.h"
#include "cli/IdentityProbe.h"
#include "cli/Signals.h"
#include "cli/Versions.h"
#include "platform/Spooler.h"
#include "platform/Text.h"

namespace cli {

const char* OutcomeText(Verification::Outcome outcome) {
  switch (outcome) {
    case Verification::kVerified: return "verified";
    case Verification::kUnverified: return "unverified";
    default: return "not possible";
  }
}

namespace {
std::string Trimmed(const std::string& s) {
  const std::size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return std::string();
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}
}  // namespace

std::string IdentityChange(const ExpectedIdentity& expected, const std::string& model,
                           const std::string& serial, const std::string& uuid) {
  const std::string was = Trimmed(expected.model), now = Trimmed(model);
  if (!was.empty() && platform::LowerAscii(was) != platform::LowerAscii(now))
    return "the printer came back as another model: " + (now.empty() ? "?" : now) + " (was " +
           was + ")";
  const std::string wasSerial = Trimmed(expected.serial), nowSerial = Trimmed(serial);
  if (!wasSerial.empty() && !nowSerial.empty() && wasSerial != nowSerial)
    return "the printer came back with another serial: " + nowSerial + " (was " + wasSerial + ")";
  const std::string wasUuid = Trimmed(expected.uuid), nowUuid = Trimmed(uuid);
  if (!wasUuid.empty() && !nowUuid.empty() &&
      platform::LowerAscii(wasUuid) != platform::LowerAscii(nowUuid))
    return "the printer came back with another UUID: " + nowUuid + " (was " + wasUuid + ")";
  return std::string();
}

Verification VerifyRestart(const IdentityAsk& ask, const std::string& want, int timeoutSeconds,
                           int pollMs, const ExpectedIdentity& expected) {
  using Clock = std::chrono::steady_clock;
  Verification v;
  const auto begin = Clock::now();
  const auto done = [&] {
    v.seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    return v;
  };
  if (NormaliseVersion(want).empty()) {
    v.reason = "the package names no version to compare";
    return done();
  }
  const auto deadline = begin + std::chrono::seconds(timeoutSeconds);
  const std::string limit = std::to_string(timeoutSeconds) + " s";
  v.outcome = Verification::kUnverified;
  v.reason = "the printer did not answer within " + limit;
  bool silent = false;      // an answer was missed since the transfer
  long long lastUp = -1;    // the last uptime told
  // The printer may still answer with the old version (and uptime) until
  // it goes down to install: only the wanted version after the restart,
  // or the deadline, ends it.
  while (Clock::now() < deadline && !Interrupted()) {
    const quillon::identity::Answer a = ask();
    if (a.interrupted) {
      v.reason = "interrupted";
      return done();
    }
    if (!a.reachable) {
      silent = true;
    } else {
      v.versionAfter = a.version;
      v.source = a.source;
      const std::string changed = IdentityChange(expected, a.model, a.serial, a.uuid);
      if (!changed.empty()) {
        v.reason = changed;
        return done();
      }
      // The uptime decides where both sides know it; a source without
      // one (the console) leaves it to the version, as it always did.
      const bool byUptime = expected.uptimeSeconds >= 0 && a.uptimeSeconds >= 0;
      if (byUptime) lastUp = a.uptimeSeconds;
      if (byUptime && v.restart.empty() && a.uptimeSeconds < expected.uptimeSeconds) {
        v.restart = std::string(silent ? "silent, then " : "") + "uptime " +
                    std::to_string(expected.uptimeSeconds) + " s -> " +
                    std::to_string(a.uptimeSeconds) + " s (" + a.source + ")";
      }
      int order = 1;
      const bool current = !a.version.empty() && CompareVersions(a.version, want, order) && order == 0;
      if (current && (!byUptime || !v.restart.empty())) {
        v.outcome = Verification::kVerified;
        v.reason.clear();
        return done();
      }
      if (a.version.empty()) {
        v.reason = "the printer's " + a.source + " answer tells no version" +
                   (a.versionDetail.empty() ? std::string() : ": " + a.versionDetail);
      } else if (current) {
        v.reason = "the printer reports " + a.version + " but its uptime never went back (" +
                   std::to_string(expected.uptimeSeconds) + " s before, " +
                   std::to_string(lastUp) + " s after " + limit + "): no restart was seen";
      } else {
        v.reason = "the printer still reports " + a.version + " after " + limit +
                   (v.restart.empty() ? std::string() : " (it restarted: " + v.restart + ")");
      }
    }
    const auto next = Clock::now() + std::chrono::milliseconds(pollMs);
    std::this_thread::sleep_until(std::min(next, deadline));
  }
  if (Interrupted()) v.reason = "interrupted";
  return done();
}

Verification VerifyIdentity(const std::string& host, const quillon::identity::Config& config,
                            const TDLPrinterList& models, const std::string& want,
                            int timeoutSeconds, int pollMs, const ExpectedIdentity& expected) {
  if (host.empty()) {
    Verification v;
    v.reason = "the printer has no network address to ask";
    return v;
  }
  return VerifyRestart([&] { return AskIdentity(host, config, models); }, want, timeoutSeconds,
                       pollMs, expected);
}

Verification VerifyVersion(const std::string& host, const std::string& want, int timeoutSeconds,
                           int pollMs, const ExpectedIdentity& expected) {
  if (host.empty()) {
    Verification v;
    v.reason = "the printer has no network console to ask";
    return v;
  }
  const IdentityAsk console = [&] {
    const ConsoleAnswer c = AskConsole(host);
    quillon::identity::Answer a;
    a.reachable = c.reachable;
    a.source = "console";
    a.model = c.model;
    a.version = c.version;
    a.interrupted = !c.reachable && c.message == "interrupted";
    return a;
  };
  return VerifyRestart(console, want, timeoutSeconds, pollMs, expected);
}

std::string ConsoleHostOfDevice(const std::string& uri) {
  const std::string lower = platform::LowerAscii(uri);
  bool network = false;
  for (const char* scheme : {"socket://", "lpd://", "ipp://", "ipps://", "http://", "https://",
                             "ftp://"}) {
    if (lower.rfind(scheme, 0) == 0) network = true;
  }
  if (!network) return std::string();
  std::string rest = uri.substr(uri.find("//") + 2);
  rest = rest.substr(0, rest.find_first_of("/?"));
  const std::size_t at = rest.rfind('@');  // user@host
  if (at != std::string::npos) rest.erase(0, at + 1);
  if (!rest.empty() && rest.front() == '[') {
    const std::size_t close = rest.find(']');
    return close == std::string::npos ? std::string() : rest.substr(1, close - 1);
  }
  return rest.substr(0, rest.find(':'));
}

std::string ConsoleHostOfQueue(const std::string& queue, std::string& why) {
  platform::PrinterHandle handle;
  platform::SpoolerPrinterData data;
  if (!handle.Open(queue)) {
    why = "the spooler does not know the queue";
    return std::string();
  }
  if (!handle.GetData(data)) {
    why = "the spooler did not say where the queue's device is";
    return std::string();
  }
  // A class prints to its first member, as the window's port column shows.
  const std::string uri = platform::FirstPort(data.ports);
  const std::string host = ConsoleHostOfDevice(uri);
  if (host.empty()) why = "the queue's device has no network console (" + uri + ")";
  return host;
}

}  // namespace cli
