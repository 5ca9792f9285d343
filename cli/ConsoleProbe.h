#pragma once
// One console query of a printer, timed, with its failure in words.

#include <cstdint>
#include <string>

namespace cli {

struct ConsoleAnswer {
  bool reachable = false;
  std::string model;
  std::string version;
  std::uint32_t error = 0;  // the library's code when not reachable
  std::string message;      // ConsoleErrorText(error)
  std::string detail;       // the library's detail
  double seconds = 0;
};

// Asks host's console (every wait bounded by the library, and cut within
// a fraction of a second by Ctrl+C or SIGTERM: then error ERR_CANCELLED).
// Thread-safe.
ConsoleAnswer AskConsole(const std::string& host);

}  // namespace cli
