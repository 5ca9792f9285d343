#pragma once
// Small helpers shared by the download job, the printer record and the
// main window: escaped line breaks, temporary files, the spooler's ports
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

// Creates an empty file named from the first three characters of prefix, a
// unique part and ".tmp" in the temporary folder. 1 with the full path in
// out, else 0. The buffer form needs 260 bytes and fails on a longer path.
int MakeTempFileName(std::string_view prefix, std::string& out);
int MakeTempFileName(std::string_view prefix, char* out /* 260 bytes */);

// PORT_* bits of a spooler printer; 0 when it cannot be opened.
int GetPortFlags(const std::string& printerName);

// Appends the spooler's printer names in its order. 0, or 14 when memory for
// them cannot be had (the list is then unchanged).
int EnumPrinterNames(std::vector<std::string>& list);
