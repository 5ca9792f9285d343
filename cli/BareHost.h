#pragma once
// A printer named by its bare address: 127.0.78.1 or printer.example.org
// given where a printer is expected, when no spooler queue has that name,
// is the FTP printer ftp://HOST/vesta0.

#include <string>

namespace cli {

// Whether name is an IPv4 address or a dotted host name (a plain word is
// a queue's name, as it always was).
bool LooksLikeBareHost(const std::string& name);

// The printer name as the download uses it: ftp://HOST/vesta0 for a bare
// host no queue is called (said with -v), else name unchanged.
std::string BareHostPrinter(const std::string& name);

}  // namespace cli
