#pragma once
// One SNMP GET (v2c or v3) through net-snmp, bounded and cut by an abort.
// Only this file knows net-snmp.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace platform {
namespace snmp {

// Codes of a failed get (0: the agent answered).
enum SnmpError {
  kSnmpNoAnswer = 1,     // silence within the bound (v2c: a wrong community is silence too)
  kSnmpAuth = 2,         // v3: the agent refused the user, the password or the key
  kSnmpSetup = 3,        // the request could not be built (bad address, protocol, OID)
  kSnmpAborted = 4,      // the abort asked to stop
  kSnmpAgentError = 5,   // the agent answered with an error status
};

struct Target {
  std::string host;  // IPv4, [IPv6] or a name
  int port = 161;
  std::string version = "2c";  // "2c" or "3"
  std::string community;       // v2c
  std::string user;            // v3
  std::string authProtocol;    // v3: MD5, SHA, SHA-224, SHA-256, SHA-384, SHA-512; empty: none
  std::string authPass;
  std::string privProtocol;    // v3: DES, AES (AES-128); empty: none
  std::string privPass;
  int timeoutMs = 2000;  // each try
  int retries = 1;
};

struct Reply {
  Error error;
  // numeric OID -> value as text (strings as their bytes, TimeTicks in
  // hundredths, numbers in decimal); an OID the agent does not have is absent.
  std::map<std::string, std::string> values;
};

// GETs the OIDs ("1.3.6.1.2.1.1.1.0"). abort, when set, is asked at least
// every 200 ms. Thread-safe.
Reply Get(const Target& target, const std::vector<std::string>& oids,
          const std::function<bool()>& abort = nullptr);

}  // namespace snmp
}  // namespace platform
