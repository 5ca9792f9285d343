#include "cli/Arguments.h"

#include <cstdlib>
#include <sstream>

#include "cli/PrinterLines.h"
#include "core/identity/PrinterIdentity.h"
#include "core/transfer/PrinterTarget.h"

using quillon::PrinterTarget;

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
    {"inventory", true,
     " hosts-from jobs json printers-out"
     " identity snmp-version snmp-community snmp-user snmp-auth snmp-priv "},
    {"job", true, " printer model no-command init-items output "},
    {"download", true,
     " printer printers-from model no-command init-items yes force jobs json skip-current"
     " allow-downgrade resume verify verify-timeout"
     " no-hold canary max-failures dry-run plan-out plan"
     " identity snmp-version snmp-community snmp-user snmp-auth snmp-priv "},
    {"history", false, " printer since json "},
    {"help", true, " "},
};

// The identity sources' options, all with a value.
bool IsIdentityOption(const std::string& name) {
  return name == "identity" || name == "snmp-version" || name == "snmp-community" ||
         name == "snmp-user" || name == "snmp-auth" || name == "snmp-priv";
}

bool ParseIdentityOption(const std::string& name, const std::string& value, Options& o,
                         std::string& error) {
  std::string protocol, pass;
  if (name == "identity") {
    if (!quillon::identity::ParseOrder(value, o.identityOrder, error)) return false;
  } else if (name == "snmp-version") {
    o.snmpVersion = value == "v3" ? "3" : value == "v2c" || value == "2" ? "2c" : value;
    if (o.snmpVersion != "2c" && o.snmpVersion != "3") {
      error = "--snmp-version takes 2c or 3";
      return false;
    }
  } else if (name == "snmp-community") {
    if (value.empty()) {
      error = "an empty --snmp-community";
      return false;
    }
    o.snmpCommunity = value;
    o.snmpCommunityGiven = true;
  } else if (name == "snmp-user") {
    o.snmpUser = value;
  } else if (name == "snmp-auth" || name == "snmp-priv") {
    if (!quillon::identity::SplitProtocolPass(value, protocol, pass)) {
      error = "--" + name + " takes PROTOCOL:PASSWORD (e.g. SHA:secret, AES:secret)";
      return false;
    }
    (name == "snmp-auth" ? o.snmpAuth : o.snmpPriv) = value;
  }
  return true;
}

bool TakesValue(const std::string& name) {
  return IsIdentityOption(name) || name == "printer" || name == "printers-from" || name == "model" ||
         name == "init-items" || name == "output" || name == "jobs" || name == "hosts-from" ||
         name == "printers-out" || name == "resume" || name == "verify-timeout" || name == "since" ||
         name == "canary" || name == "max-failures" || name == "plan-out" || name == "plan";
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

bool IsCommand(const std::string& name) {
  for (const Spec& s : kCommands) {
    if (name == s.command) return true;
  }
  return false;
}

std::vector<std::string> AcceptedOptions(const std::string& command) {
  std::vector<std::string> names;
  for (const Spec& s : kCommands) {
    if (command != s.command) continue;
    std::istringstream in(s.options);
    for (std::string name; in >> name;) names.push_back(name);
  }
  return names;
}

bool ParseArguments(const std::vector<std::string>& args, Options& o, std::string& error) {
  o = Options();
  const Spec* spec = nullptr;
  bool operandTaken = false;
  std::vector<std::string> planOptions;  // options that decide what a download does
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
    if (arg == "--verbose" || arg == "-v") {
      o.verbose = true;
      o.quiet = false;
      continue;
    }
    if (arg == "--quiet" || arg == "-q") {
      o.quiet = true;
      o.verbose = false;
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
    } else if (o.command == "inventory") {
      o.hosts.push_back(arg);
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

    if (IsIdentityOption(name)) {
      if (!ParseIdentityOption(name, value, o, error)) return false;
    } else if (name == "printer") {
      if (value.empty()) {
        error = "an empty printer name";
        return false;
      }
      // A printer to send to is parsed here, where it enters: a malformed
      // one is refused before anything is asked or sent. The history's
      // filter takes any text (rows written before may hold anything).
      PrinterTarget target;
      const platform::Error bad = PrinterTarget::Parse(value, &target);
      if (bad.Failed() && o.command != "history") {
        error = bad.detail;
        return false;
      }
      o.printers.push_back(bad.Failed() ? value : target.Canonical());
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
      o.jobsGiven = true;
    } else if (name == "hosts-from") {
      o.hostsFrom = value;
    } else if (name == "printers-out") {
      o.printersOut = value;
    } else if (name == "skip-current") {
      o.skipCurrent = true;
    } else if (name == "allow-downgrade") {
      o.allowDowngrade = true;
    } else if (name == "resume") {
      o.resume = value;
    } else if (name == "verify") {
      o.verify = true;
    } else if (name == "verify-timeout") {
      if (!ParseInt(value, 1, 3600, o.verifyTimeout)) {
        error = "--verify-timeout takes a number of seconds 1 to 3600";
        return false;
      }
    } else if (name == "no-hold") {
      o.noHold = true;
    } else if (name == "canary") {
      if (!ParseInt(value, 1, 100000, o.canary)) {
        error = "--canary takes a number of printers 1 to 100000";
        return false;
      }
    } else if (name == "max-failures") {
      const bool percent = !value.empty() && value.back() == '%';
      const std::string number = percent ? value.substr(0, value.size() - 1) : value;
      if (!ParseInt(number, 1, percent ? 100 : 100000, o.maxFailures)) {
        error = "--max-failures takes a number of printers (1 or more) or a percentage (1% to 100%)";
        return false;
      }
      o.maxFailuresPercent = percent;
    } else if (name == "since") {
      o.since = value;
    } else if (name == "json") {
      o.json = true;
    } else if (name == "dry-run") {
      o.dryRun = true;
    } else if (name == "plan-out") {
      o.planOut = value;
    } else if (name == "plan") {
      o.planIn = value;
      planOptions.push_back("--" + name);
      continue;
    }
    // How to ask the printers (and with what credentials) is no choice of
    // the plan: a plan is applied with them given again.
    if (name != "json" && name != "jobs" && name != "verify" && name != "verify-timeout" &&
        name != "yes" && !IsIdentityOption(name))
      planOptions.push_back("--" + name);
  }
  if (o.command == "help") {
    // "help COMMAND" is COMMAND --help.
    o.help = true;
    o.command = o.operand;
    o.operand.clear();
    if (!o.command.empty() && !IsCommand(o.command)) {
      error = "unknown command " + o.command;
      return false;
    }
    return true;
  }
  if (o.help || o.version) return true;
  if (!spec) {
    error = "no command given";
    return false;
  }
  if (o.command == "inventory") {
    if (o.hosts.empty() && o.hostsFrom.empty()) {
      error = "the command inventory needs a HOST, a range, a block or --hosts-from";
      return false;
    }
    if (!o.jobsGiven) o.jobs = 16;
    return true;
  }
  if (spec->operand && o.operand.empty() && !(o.command == "download" && !o.planIn.empty())) {
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
  if (o.command == "download" && !o.planIn.empty()) {
    // A plan names its package, printers and choices; applying it changes none.
    for (const std::string& opt : planOptions) {
      if (opt == "--plan") continue;
      error = "--plan applies the plan as it was made: it takes no " + opt +
              " (make a new plan with --dry-run instead)";
      return false;
    }
    if (!o.operand.empty()) {
      error = "--plan names its package: give no PACKAGE";
      return false;
    }
    o.yes = true;  // the plan was the confirmation
    return true;
  }
  if (o.command == "download" && !o.planOut.empty() && !o.dryRun) {
    error = "--plan-out writes the plan of a --dry-run";
    return false;
  }
  if (o.command == "download" && o.printers.empty() && o.printersFrom.empty()) {
    error = "the command download needs --printer or --printers-from";
    return false;
  }
  return true;
}

std::vector<std::string> ParsePrinterList(const std::string& text) {
  std::vector<PrinterLine> lines;
  std::string error;
  ParsePrinterLines(text, lines, error);
  std::vector<std::string> names;
  for (const PrinterLine& line : lines) names.push_back(line.printer);
  return names;
}

bool CollectPrinters(const Options& options, std::vector<std::string>& printers,
                     std::string& error) {
  std::vector<PrinterLine> lines;
  if (!CollectPrinterLines(options, lines, error)) return false;
  printers.clear();
  for (const PrinterLine& line : lines) printers.push_back(line.printer);
  return true;
}

}  // namespace cli
