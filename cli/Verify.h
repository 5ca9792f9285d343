#pragma once
// After a successful job: wait for the printer's restart and ask it again
// (its identity sources in the admin's order), until it names the
// package's version or the time is up. Where a source tells the uptime
// (IPP printer-up-time, SNMP sysUpTime), the restart must be seen too.

#include <functional>
#include <string>

#include "core/identity/PrinterIdentity.h"

class TDLPrinterList;

namespace cli {

struct Verification {
  enum Outcome { kVerified, kUnverified, kNotPossible } outcome = kNotPossible;
  std::string versionAfter;  // what the printer said last ("" when it never answered)
  std::string reason;        // why unverified or not possible
  std::string source;        // the source of versionAfter
  std::string restart;       // how the restart was seen ("" not seen by uptime)
  double seconds = 0;
};

const char* OutcomeText(Verification::Outcome outcome);  // "verified", ...

// Who the printer was before the transfer, as far as a source said: a
// printer that comes back as another one (DHCP gave its address away
// during the restart) is not the one that was updated.
struct ExpectedIdentity {
  std::string model;   // "" not known: not compared
  std::string serial;  // "" not known: not compared
  std::string uuid;    // "" not known: not compared
  long long uptimeSeconds = -1;  // before the transfer; -1 not known
};

// Why an answer is not the expected printer ("" when it may be): the
// model (compared without case and surrounding blanks) and, where both
// sides know one, the serial and the UUID.
std::string IdentityChange(const ExpectedIdentity& expected, const std::string& model,
                           const std::string& serial, const std::string& uuid = std::string());

// One question to the printer (its sources in order), for VerifyRestart.
using IdentityAsk = std::function<quillon::identity::Answer()>;

// Asks every pollMs until the printer names want (normalised) or
// timeoutSeconds passed; an answer from another printer than expected
// ends it unverified at once. Where an answer tells the uptime and the
// uptime before is known, the version counts only once the uptime has
// gone back (below the one before): a printer that still runs the old
// firmware cannot pass by naming the package's version.
Verification VerifyRestart(const IdentityAsk& ask, const std::string& want, int timeoutSeconds,
                           int pollMs, const ExpectedIdentity& expected);

// The same against host's sources of config.
Verification VerifyIdentity(const std::string& host, const quillon::identity::Config& config,
                            const TDLPrinterList& models, const std::string& want,
                            int timeoutSeconds, int pollMs, const ExpectedIdentity& expected);

// Asks host's console every pollMs (each query bounded by the library)
// until its version equals want (normalised) or timeoutSeconds passed;
// an answer from another printer than expected ends it unverified at
// once. An empty host means the printer has no console to ask.
Verification VerifyVersion(const std::string& host, const std::string& want,
                           int timeoutSeconds, int pollMs = 1000,
                           const ExpectedIdentity& expected = ExpectedIdentity());

// The host of a console behind a spooler device: socket://, lpd://, ipp://,
// ipps://, http://, https:// and ftp:// addresses; "" for anything else
// (local ports, files, USB).
std::string ConsoleHostOfDevice(const std::string& uri);

// The console host behind a spooler queue's device, asked of the spooler
// afresh (safe on any thread; every wait bounded). "" with why set when the
// queue is unknown, the spooler does not answer, or the device has no
// network console.
std::string ConsoleHostOfQueue(const std::string& queue, std::string& why);

}  // namespace cli
