#include "cli/PrinterLines.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <sstream>

#include "cli/Arguments.h"
#include "core/transfer/PrinterTarget.h"
#include "netlib/NetAddress.h"
#include "platform/Text.h"

using quillon::PrinterTarget;

namespace cli {
namespace {

// The words of a line: blanks separate them, double quotes keep blanks
// inside one (and are dropped); a word starting with "#" ends the line.
// False for an unclosed quote.
bool Words(const std::string& line, std::vector<std::string>& words) {
  words.clear();
  std::size_t i = 0;
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  for (;;) {
    while (i < line.size() && blank(line[i])) ++i;
    if (i >= line.size() || line[i] == '#') return true;
    std::string word;
    bool quoted = false;
    for (; i < line.size() && (quoted || !blank(line[i])); ++i) {
      if (line[i] == '"')
        quoted = !quoted;
      else
        word += line[i];
    }
    if (quoted) return false;
    words.push_back(word);
  }
}

}  // namespace

bool ParsePrinterLines(const std::string& text, std::vector<PrinterLine>& lines,
                       std::string& error) {
  lines.clear();
  std::istringstream in(text);
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    std::vector<std::string> words;
    if (!Words(line, words)) {
      error = "line " + std::to_string(number) + " of the printer list: a quote is not closed";
      return false;
    }
    PrinterLine entry;
    for (const std::string& word : words) {
      if (entry.printer.empty()) {
        entry.printer = word;
        continue;
      }
      const std::size_t eq = word.find('=');
      const std::string key = word.substr(0, eq);
      const std::string value = eq == std::string::npos ? std::string() : word.substr(eq + 1);
      if (key != "model" || value.empty()) {
        error = "line " + std::to_string(number) + " of the printer list: " +
                (key == "model" ? "model= needs a model name" : "unknown field " + word +
                                                                   " (known: model=M)");
        return false;
      }
      entry.model = value;
    }
    if (!entry.printer.empty()) lines.push_back(entry);
  }
  return true;
}

bool CollectPrinterLines(const Options& options, std::vector<PrinterLine>& printers,
                         std::string& error) {
  std::vector<PrinterLine> all;
  for (const std::string& p : options.printers) all.push_back({p, std::string(), PrinterTarget()});
  if (!options.printersFrom.empty()) {
    std::string text;
    if (options.printersFrom == "-") {
      text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
      std::ifstream in(options.printersFrom, std::ios::binary);
      if (!in) {
        error = "cannot read the printer list " + options.printersFrom;
        return false;
      }
      text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::vector<PrinterLine> listed;
    if (!ParsePrinterLines(text, listed, error)) return false;
    all.insert(all.end(), listed.begin(), listed.end());
  }
  printers.clear();
  std::set<std::string> keys;
  for (PrinterLine& p : all) {
    // A malformed address is the caller's input, told before anything is
    // asked or sent, not a failed transfer later.
    const platform::Error bad = PrinterTarget::Parse(p.printer, &p.target);
    if (bad.Failed()) {
      error = bad.detail;
      return false;
    }
    // From here on the printer is its one spelling: the output, the
    // records and the lock all see the same text.
    p.printer = p.target.Canonical();
    if (keys.insert(p.target.Identity()).second) printers.push_back(p);
  }
  if (printers.empty()) {
    error = "no printer given";
    return false;
  }
  return true;
}

std::string PrinterLineText(const std::string& host, const std::string& model,
                            const std::string& comment) {
  // A bare IPv6 address needs brackets in an address with a folder.
  const bool v6 = host.find(':') != std::string::npos && host.front() != '[';
  std::string line = std::string(platform::kFtpScheme) + (v6 ? "[" + host + "]" : host) + "/" +
                     std::string(quillon::net::kDefaultFtpFolder);
  if (!model.empty() && model.find('"') == std::string::npos)
    line += model.find_first_of(" \t#") == std::string::npos ? " model=" + model
                                                             : " model=\"" + model + "\"";
  if (!comment.empty()) line += "  # " + comment;
  return line;
}

}  // namespace cli
