#pragma once
// The hosts an inventory asks: names and addresses, IPv4 ranges and CIDR
// blocks, and the printers of a printers file.

#include <cstddef>
#include <string>
#include <vector>

namespace cli {

// At most this many addresses come from one range or block (a /22).
constexpr std::size_t kMaxRangeHosts = 1024;

// Appends the hosts of one argument: a host name or address, a printer
// address ftp://HOST/FOLDER (its host), an IPv4 range a.b.c.d-e or
// a.b.c.d-a.b.c.e, or an IPv4 block a.b.c.d/n (its host addresses: the
// network and broadcast addresses are left out below /31). False with a
// message for a malformed or too large range.
bool ExpandHostArgument(const std::string& arg, std::vector<std::string>& hosts,
                        std::string& error);

// The host of a printer name (PrinterTarget::Host()): "ftp://H/vesta0" and
// "ftp://h:21/vesta0" give "h", "ftp://[::1]/vesta0" gives "::1"; anything
// that is not an FTP address is taken as a host already.
std::string HostOfPrinterName(const std::string& name);

// Every argument expanded, duplicates dropped (first kept, letter case
// ignored). False with a message at the first bad one.
bool ExpandHosts(const std::vector<std::string>& args, std::vector<std::string>& hosts,
                 std::string& error);

}  // namespace cli
