#pragma once
// The lines of a printers file: a printer, then optional fields, then an
// optional comment:
//   ftp://10.0.0.7/vesta0 model=KV3   # 2.10
//   OfficeQueue
//   ftp://10.0.0.8/vesta0 model="HALVORN CORVIA KV3"
// A field is key=value ("model" is the only key); double quotes keep
// blanks in a value.

#include <string>
#include <vector>

#include "core/transfer/PrinterTarget.h"

namespace cli {

struct Options;

struct PrinterLine {
  std::string printer;  // as written; its canonical spelling once collected
  std::string model;    // model=, empty when the line gives none
  quillon::PrinterTarget target;  // parsed by CollectPrinterLines
};

// Empty lines and lines starting with "#" are skipped; surrounding blanks
// and a trailing "# ..." dropped. False with a message naming the line
// for an unknown or empty field.
bool ParsePrinterLines(const std::string& text, std::vector<PrinterLine>& lines,
                       std::string& error);

// The printers of the options (--printer, then --printers-from), each
// parsed into its target and spelled canonically, each only once (the
// first of names that lock the same printer is kept), with the model a
// file line gives. False with a message when the file cannot be read, a
// line is malformed or a printer does not parse.
bool CollectPrinterLines(const Options& options, std::vector<PrinterLine>& printers,
                         std::string& error);

// A line of a printers file for an FTP printer found by an inventory.
std::string PrinterLineText(const std::string& host, const std::string& model,
                            const std::string& comment);

}  // namespace cli
