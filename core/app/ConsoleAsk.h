#pragma once
// One model query of a printer's console through the library, with the
// caller's "stop now?" asked while it waits.

#include <cstdint>
#include <functional>
#include <string>

namespace quillon {

struct ConsoleReply {
  bool answered = false;
  std::uint32_t error = 0;  // the library's code when not answered
  std::string model;
  std::string version;
};

// Asks the console at host ("name", "a.b.c.d", "[v6]", each with an
// optional ":port"). aborted is asked at least every 200 ms while the query
// waits; true ends it at once (error ERR_CANCELLED). An empty aborted
// leaves only the library's own bounds.
ConsoleReply AskPrinterConsole(const std::string& host, const std::function<bool()>& aborted);

}  // namespace quillon
