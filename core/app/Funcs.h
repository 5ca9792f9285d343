#pragma once
// Small helpers shared by the download job, the printer record and the
// main window: escaped line breaks, the spooler's ports
// and printer names.

#include <string>
#include <string_view>
#include <vector>

// Bits of GetPortFlags.
constexpr int PORT_LPT = 0x1;         // first port is LPT1: .. LPT9:
constexpr int PORT_LOCAL = 0x10;      // a local queue (not a remote one)
constexpr int PORT_MULTIPLE = 0x100;  // more than one port

// Each backslash + "n" pair becomes one carriage return (13).
std::string ExpandLineBreaks(std::string_view text);

// PORT_* bits of a spooler printer; 0 when it cannot be opened.
int GetPortFlags(const std::string& printerName);

// Appends the spooler's printer names in its order. 0, or 14 when memory for
// them cannot be had (the list is then unchanged).
int EnumPrinterNames(std::vector<std::string>& list);
