#pragma once
// After a successful job: wait for the printer's restart and ask its
// console again, until it names the package's version or the time is up.

#include <string>

namespace cli {

struct Verification {
  enum Outcome { kVerified, kUnverified, kNotPossible } outcome = kNotPossible;
  std::string versionAfter;  // what the console said last ("" when it never answered)
  std::string reason;        // why unverified or not possible
  double seconds = 0;
};

const char* OutcomeText(Verification::Outcome outcome);  // "verified", ...

// Who the printer was before the transfer, as far as a source said: a
// printer that comes back as another one (DHCP gave its address away
// during the restart) is not the one that was updated.
struct ExpectedIdentity {
  std::string model;   // "" not known: not compared
  std::string serial;  // "" not known: not compared
};

// Why an answer is not the expected printer ("" when it may be): the
// model (compared without case and surrounding blanks) and, where both
// sides know one, the serial.
std::string IdentityChange(const ExpectedIdentity& expected, const std::string& model,
                           const std::string& serial);

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
