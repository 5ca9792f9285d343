#pragma once
// The command line of quillon-cli: a command word, its operand and options.

#include <memory>
#include <string>
#include <vector>

namespace cli {

struct PlannedPrinter;

struct Options {
  std::string command;  // info, printers, query, inventory, job, download, history; with
                        // --help the command whose help is asked for, or empty
  std::string operand;  // the package (info, job, download) or the host (query)
  std::vector<std::string> hosts;     // inventory: hosts, ranges, blocks
  std::string hostsFrom;              // --hosts-from FILE (a printers file; "-": stdin)
  std::string printersOut;            // --printers-out FILE (inventory)
  std::vector<std::string> printers;  // --printer, in order
  std::string printersFrom;           // --printers-from FILE ("-": standard input)
  std::string model;                  // --model
  bool haveModel = false;
  bool noCommand = false;             // --no-command
  int initItems = -1;                 // --init-items 0..7; -1 when not given
  std::string output;                 // -o FILE (job)
  bool yes = false;                   // --yes: the routine questions
  bool force = false;                 // --force: also the risky ones
  int jobs = 1;                       // --jobs N
  bool jobsGiven = false;
  bool skipCurrent = false;           // --skip-current
  bool allowDowngrade = false;        // --allow-downgrade
  std::string resume;                 // --resume RESULT.jsonl
  bool verify = false;                // --verify
  int verifyTimeout = 300;            // --verify-timeout SECONDS
  // --no-hold: a queue is not held while its printer is updated
  bool noHold = false;
  std::string since;                  // --since TIME (history)
  bool json = false;                  // --json
  bool help = false;                  // --help
  bool version = false;               // --version
  bool verbose = false;               // -v, --verbose
  bool quiet = false;                 // -q, --quiet (the later of -v and -q wins)

  // Identity sources (inventory, download); empty: the settings file's, else the default.
  std::vector<std::string> identityOrder;  // --identity console,ipp,snmp
  std::string snmpVersion;                 // --snmp-version 2c|3
  std::string snmpCommunity;               // --snmp-community C
  bool snmpCommunityGiven = false;
  std::string snmpUser;                    // --snmp-user U
  std::string snmpAuth;                    // --snmp-auth PROTOCOL:PASS
  std::string snmpPriv;                    // --snmp-priv PROTOCOL:PASS
  // Waves (download): --canary N sends to N printers first; --max-failures
  // N or P% stops starting transfers once that many failed in the run.
  int canary = 0;                     // 0: no canary wave
  int maxFailures = 0;                // 0: no limit
  bool maxFailuresPercent = false;    // maxFailures is a percentage of the batch
  // The plan (download): --dry-run, --plan-out FILE, --plan FILE.
  bool dryRun = false;
  std::string planOut;
  std::string planIn;
  // While a plan is applied: its printers as planned (identity, model=).
  std::shared_ptr<const std::vector<PlannedPrinter>> planned;
};

// Parses args (without the program name). False with a message in error.
bool ParseArguments(const std::vector<std::string>& args, Options& options, std::string& error);

// Printer names from a list: one per line, surrounding blanks dropped,
// empty lines and lines starting with "#" skipped.
std::vector<std::string> ParsePrinterList(const std::string& text);

// The printers of the options (--printer, then --printers-from), each
// only once (the first of names that lock the same printer is kept).
// False with a message when the file cannot be read.
bool CollectPrinters(const Options& options, std::vector<std::string>& printers,
                     std::string& error);

bool IsCommand(const std::string& name);
// The long options (without dashes) a command takes, beyond the common ones.
std::vector<std::string> AcceptedOptions(const std::string& command);

}  // namespace cli
