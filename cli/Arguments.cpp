#include "cli/Arguments.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <sstream>

#include "core/app/PrinterLock.h"

namespace cli {
namespace {

struct Spec {
  const char* command;
  bool operand;  // takes PACKAGE or HOST
  const char* options;  // the long options it accepts, " " separated
};

const Spec kCommands[] = {
    {"info", true, " json "},
    {"printers", false, " json "},
    {"query", true, " json "},
    {"job", true, " printer model no-command init-items output "},
    {"download", true,
     " printer printers-from model no-command init-items yes force jobs json "},
    {"history", false, " printer since json "},
};

bool TakesValue(const std::string& name) {
  return name == "printer" || name == "printers-from" || name == "model" ||
         name == "init-items" || name == "output" || name == "jobs" || name == "since";
}

bool ParseInt(const std::string& text, int low, int high, int& value) {
  if (text.empty() || text.size() > 6) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  value = std::atoi(text.c_str());
  return value >= low && value <= high;
}

}  // namespace

bool ParseArguments(const std::vector<std::string>& args, Options& o, std::string& error) {
  o = Options();
  const Spec* spec = nullptr;
  bool operandTaken = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      o.help = true;
      continue;
    }
    if (arg == "--version") {
      o.version = true;
      continue;
    }
    std::string name, value;
    bool hasValue = false;
    if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      name = arg.substr(2);
      const std::size_t eq = name.find('=');
      if (eq != std::string::npos) {
        value = name.substr(eq + 1);
        name.resize(eq);
        hasValue = true;
      }
    } else if (arg == "-o" || arg == "-y" || arg == "-j") {
      name = arg == "-o" ? "output" : arg == "-y" ? "yes" : "jobs";
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      error = "unknown option " + arg;
      return false;
    } else if (!spec) {
      for (const Spec& s : kCommands) {
        if (arg == s.command) spec = &s;
      }
      if (!spec) {
        error = "unknown command " + arg;
        return false;
      }
      o.command = arg;
      continue;
    } else if (spec->operand && !operandTaken) {
      o.operand = arg;
      operandTaken = true;
      continue;
    } else {
      error = "unexpected argument " + arg;
      return false;
    }

    if (!spec) {
      error = "an option before the command: " + arg;
      return false;
    }
    if (std::string(spec->options).find(" " + name + " ") == std::string::npos) {
      error = "the command " + o.command + " takes no option --" + name;
      return false;
    }
    if (TakesValue(name) && !hasValue) {
      if (i + 1 >= args.size()) {
        error = "the option --" + name + " needs a value";
        return false;
      }
      value = args[++i];
      hasValue = true;
    } else if (!TakesValue(name) && hasValue) {
      error = "the option --" + name + " takes no value";
      return false;
    }

    if (name == "printer") {
      if (value.empty()) {
        error = "an empty printer name";
        return false;
      }
      o.printers.push_back(value);
    } else if (name == "printers-from") {
      o.printersFrom = value;
    } else if (name == "model") {
      o.model = value;
      o.haveModel = true;
    } else if (name == "no-command") {
      o.noCommand = true;
    } else if (name == "init-items") {
      if (value == "none") {
        o.initItems = 0;
      } else if (!ParseInt(value, 0, 7, o.initItems)) {
        error = "--init-items takes none or a number 0 to 7 (1 menu, 2 network, 4 permission "
                "settings)";
        return false;
      }
    } else if (name == "output") {
      o.output = value;
    } else if (name == "yes") {
      o.yes = true;
    } else if (name == "force") {
      o.force = true;
    } else if (name == "jobs") {
      if (!ParseInt(value, 1, 64, o.jobs)) {
        error = "--jobs takes a number 1 to 64";
        return false;
      }
    } else if (name == "since") {
      o.since = value;
    } else if (name == "json") {
      o.json = true;
    }
  }
  if (o.help || o.version) return true;
  if (!spec) {
    error = "no command given";
    return false;
  }
  if (spec->operand && o.operand.empty()) {
    error = std::string("the command ") + spec->command +
            (o.command == "query" ? " needs a HOST" : " needs a PACKAGE");
    return false;
  }
  if (o.command == "job") {
    if (o.printers.size() != 1) {
      error = "the command job needs exactly one --printer";
      return false;
    }
    if (o.output.empty()) {
      error = "the command job needs -o FILE";
      return false;
    }
  }
  if (o.command == "history" && o.printers.size() > 1) {
    error = "the command history takes at most one --printer";
    return false;
  }
  if (o.command == "download" && o.printers.empty() && o.printersFrom.empty()) {
    error = "the command download needs --printer or --printers-from";
    return false;
  }
  return true;
}

std::vector<std::string> ParsePrinterList(const std::string& text) {
  std::vector<std::string> names;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    const std::size_t last = line.find_last_not_of(" \t\r");
    names.push_back(line.substr(first, last - first + 1));
  }
  return names;
}

bool CollectPrinters(const Options& options, std::vector<std::string>& printers,
                     std::string& error) {
  std::vector<std::string> all = options.printers;
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
    const std::vector<std::string> listed = ParsePrinterList(text);
    all.insert(all.end(), listed.begin(), listed.end());
  }
  printers.clear();
  std::set<std::string> keys;
  for (const std::string& p : all) {
    if (keys.insert(TPrinterLock::Key(p)).second) printers.push_back(p);
  }
  if (printers.empty()) {
    error = "no printer given";
    return false;
  }
  return true;
}

const char* UsageText() {
  return "Usage:\n"
         "  quillon-cli info PACKAGE [--json]\n"
         "  quillon-cli printers [--json]\n"
         "  quillon-cli query HOST [--json]\n"
         "  quillon-cli job PACKAGE --printer P [--model M] [--no-command] [--init-items N] -o FILE\n"
         "  quillon-cli download PACKAGE --printer P [--printer P2 ...] [--printers-from FILE]\n"
         "              [--model M] [--no-command] [--init-items N] [--yes] [--force]\n"
         "              [--jobs N] [--json]\n"
         "  quillon-cli history [--printer P] [--since TIME] [--json]\n"
         "\n"
         "A printer is a spooler queue name or ftp://HOST/FOLDER (the printer's FTP server;\n"
         "its folder is normally vesta0).\n"
         "\n"
         "  --model M        the printer's model when it cannot be asked: used instead of\n"
         "                   the console query of an FTP printer, and for a queue whose\n"
         "                   driver names no model\n"
         "  --no-command     send the bare data, without the download and restart commands\n"
         "  --init-items N   settings reset by the restart command: sum of 1 menu settings,\n"
         "                   2 network settings, 4 permission settings; 0 or none keeps\n"
         "                   them all (default: 1, the printer menu settings)\n"
         "  --yes            accept the routine confirmations: the start, the package's\n"
         "                   begin message, notices (needed without a terminal)\n"
         "  --force          accept also what puts a printer at risk: a package not made\n"
         "                   for its model, a model that is unknown or cannot be updated\n"
         "                   over its connection; without it such a printer is refused\n"
         "  --jobs N         at most N transfers at a time (default 1); never two to the\n"
         "                   same printer, also against the windowed program\n"
         "  --printers-from FILE  one printer per line (# starts a comment; - reads stdin)\n"
         "  --json           one JSON object per printer (history: per attempt) on standard\n"
         "                   output, nothing else\n"
         "  --since TIME     history from that local date (2026-01-31) or time\n"
         "                   (2026-01-31T08:00) on\n"
         "\n";
}

}  // namespace cli
