#pragma once
// Get-Printer-Attributes of a network printer through libcups, bounded and
// cut by an abort.

#include <functional>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace platform {
namespace ipp {

enum IppError {
  kIppNoAnswer = 1,  // no connection, or no answer within the bound
  kIppRefused = 2,   // the printer answered with an IPP error status
  kIppSetup = 3,     // not an ipp:// or ipps:// address
  kIppAborted = 4,
};

struct PrinterAttributes {
  std::string makeAndModel;                  // printer-make-and-model
  std::string deviceId;                      // printer-device-id
  std::string uuid;                          // printer-uuid
  std::vector<std::string> firmwareNames;    // printer-firmware-name
  std::vector<std::string> firmwareStrings;  // printer-firmware-string-version
  std::vector<std::string> firmwareVersions; // printer-firmware-version, hex when not printable
  std::string state;                         // printer-state: idle, processing, stopped
  std::vector<std::string> stateReasons;     // printer-state-reasons
  long long upTime = -1;                     // printer-up-time (s); -1 when absent
};

struct Reply {
  Error error;
  PrinterAttributes attributes;
};

// Asks uri ("ipp://host:631/ipp/print", "ipps://..."): the connect and
// every read bounded by timeoutMs, tried 1 + retries times; abort, when
// set, is asked at least every 200 ms (during an ipps handshake from a
// thread of the call's own: it must be safe to call from any thread), and
// the TLS handshake is held to the same bound. Thread-safe.
Reply GetPrinterAttributes(const std::string& uri, int timeoutMs, int retries,
                           const std::function<bool()>& abort = nullptr);

}  // namespace ipp
}  // namespace platform
