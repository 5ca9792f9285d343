#include "cli/HelpText.h"


#include "cli/ExitCodes.h"
#include "cli/Language.h"
#include "resources/HelpFormat.h"

namespace cli {
namespace {

constexpr int kWidth = 79;

const OptionDoc kJson{"--json", "",
                      "Write one JSON object per line on standard output and nothing else there."};
const OptionDoc kPrinter{"--printer", "P",
                         "The printer: a spooler queue name or ftp://HOST/FOLDER (the printer's "
                         "FTP server; its folder is normally vesta0)."};
const OptionDoc kModel{"--model", "M",
                       "The printer's model when it cannot be asked: used instead of the console "
                       "query of an FTP printer, and for a queue whose driver names no model."};
const OptionDoc kNoCommand{"--no-command", "",
                           "Send the bare data, without the download and restart commands."};
const OptionDoc kInitItems{"--init-items", "N",
                           "The settings the restart command resets: the sum of 1 menu settings, "
                           "2 network settings and 4 permission settings; 0 keeps them all."};

// Identity sources and their credentials (inventory).
const OptionDoc kIdentity{"--identity", "LIST",
                          "The sources asked for each printer's model, version and serial, in "
                          "this order until one names the model: console (the maker's telnet "
                          "console), ipp (Get-Printer-Attributes at ipp://HOST:631/ipp/print), "
                          "ipps (the same over TLS), snmp. Default console,ipp,snmp, or the "
                          "settings file's [Identity] Order. Each IPP or SNMP request waits at "
                          "most 2 s and is tried twice."};
const OptionDoc kSnmpVersion{"--snmp-version", "V",
                             "2c or 3 (default 2c, or 3 when --snmp-user is given; settings: "
                             "SnmpVersion)."};
const OptionDoc kSnmpCommunity{"--snmp-community", "C",
                               "The SNMP v2c community (settings: SnmpCommunity). None is "
                               "assumed: without it SNMP v2c is not asked. A wrong community "
                               "is silence, told as \"no answer (wrong community or no "
                               "agent)\"."};
const OptionDoc kSnmpUser{"--snmp-user", "U", "The SNMPv3 user (settings: SnmpUser)."};
const OptionDoc kSnmpAuth{"--snmp-auth", "PROTOCOL:PASS",
                          "SNMPv3 authentication: MD5, SHA, SHA-224, SHA-256, SHA-384 or "
                          "SHA-512 and its password, at least 8 characters (settings: "
                          "SnmpAuth). A password the agent refuses is told as such."};
const OptionDoc kSnmpPriv{"--snmp-priv", "PROTOCOL:PASS",
                          "SNMPv3 privacy: AES or DES and its password (settings: SnmpPriv)."};
// The plan of a download, and what a download changes only when asked.
const OptionDoc kDownloadInitItems{
    "--init-items", "N",
    "The settings the restart command resets: none, or the sum of 1 menu settings, 2 network "
    "settings and 4 permission settings (0 is none). Under --yes or --force a printer whose "
    "settings would be initialised is refused (exit 12, reason init_items_needed) and receives "
    "nothing unless this option is given; at a terminal the question's default keeps the "
    "settings, and the question is not asked when this option is given."};
const OptionDoc kDryRun{
    "--dry-run", "",
    "Send nothing: ask every printer what the download would ask (model, version), take no lock, "
    "write no history or log, and print per printer what would happen: send (version before -> "
    "the package's, and the initialisation items), skip (already current, with "
    "--skip-current), refused (the reason) or unreachable (the cause). Nothing is asked: it "
    "plans as --yes would, so risks are refused without --force and a settings reset without "
    "--init-items. With --json one line per printer with plan, printer, model, version_before, "
    "version_package, init_items, reason and detail. The exit status is 0 when every printer "
    "would be sent to or skipped, 12 when any would be refused (also when others are "
    "unreachable), 5 when any is unreachable and none refused."};
const OptionDoc kPlanOut{
    "--plan-out", "FILE",
    "With --dry-run: write the plan into FILE (JSON): the package's absolute path and the "
    "SHA-256 of the whole package file, the options that decided the plan, and per printer its "
    "plan and identity (canonical address, model and version as its identity source gave them, "
    "that source, and the serial (SNMP) or UUID (IPP) when the source gives one, else null)."};
const OptionDoc kPlan{
    "--plan", "FILE",
    "Apply a plan written by --plan-out, exactly: its package, its printers and its choices "
    "(no PACKAGE, printer or choice options; --json, --jobs, --verify are allowed; the plan is "
    "the confirmation). A package whose SHA-256 differs refuses the whole plan (exit 12, reason "
    "package_changed) and nothing is sent. Only the printers planned as send are sent to; each "
    "one's identity sources are asked again just before its transfer (give --identity and the "
    "--snmp-* options again: the plan keeps no credential), and a printer whose model, serial "
    "or UUID is not the planned one, or whose pinned serial or UUID no source tells now, is "
    "refused (reason identity_changed) and receives nothing."};
// The download's identity sources: the same options as inventory's.
const OptionDoc kDownloadIdentity{
    "--identity", "LIST",
    "The sources asked for each printer's model and version (the model and downgrade checks, "
    "--skip-current, --verify, the plan's pin), in this order until one names the model: "
    "console, ipp, ipps, snmp. Default console,ipp,snmp, or the settings file's [Identity] "
    "Order; a printer whose console answers is asked nothing else. Each IPP or SNMP request "
    "waits at most 2 s and is tried twice. The JSON line's identity_source says which source "
    "answered; a printer that none answers is unreachable (exit 5)."};

const std::vector<CommandDoc> kCommands = {
    {"info", "PACKAGE [--json]", "show what a firmware package holds",
     "Opens the package (.RXF, its compressed form .RX_, or a cabinet .RXV) as a download would "
     "and prints its status, description, version, target models, messages and the size and "
     "SHA-256 of its data. The exit status is 4 when the package cannot be opened or holds no "
     "usable data, so a script can check a package before it sends it.",
     {kJson}},
    {"printers", "[--json]", "list the spooler's printers and their models",
     "Lists the print queues of the CUPS server (CUPS_SERVER, else the system's) with driver, "
     "port, model code, command flag and whether the program can update each one.",
     {kJson}},
    {"query", "HOST [--json]", "ask a network printer for its model and version",
     "Asks the printer's management console at HOST (an IPv4 address or a host name) for its "
     "model name and program version.",
     {kJson}},
    {"inventory",
     "HOST|a.b.c.d-e|a.b.c.d/n... [--hosts-from FILE] [--jobs N] [--json] [--printers-out FILE] "
     "[--identity LIST] [--snmp-version V] [--snmp-community C] [--snmp-user U] "
     "[--snmp-auth PROTOCOL:PASS] [--snmp-priv PROTOCOL:PASS]",
     "ask many network printers at once for their model and version",
     "Asks each host for its model name and firmware version, --jobs at a time (default 16), "
     "every wait bounded: its console, then IPP, then SNMP (--identity chooses), until one "
     "names the model; the table's SOURCE column and the JSON's identity_source say which "
     "did, serial and uuid are given where known, and a host that none answered carries "
     "the cause of each source. Hosts are names or addresses, IPv4 ranges "
     "(a.b.c.d-e or a.b.c.d-a.b.c.e) or blocks (a.b.c.d/n) of at most 1024 addresses (a /22). "
     "On a terminal a table with a progress line, with --json one line per host in the order "
     "given. The exit status is 0 when every host answered, 9 when some did, 5 when none did.",
     {{"--hosts-from", "FILE",
       "Hosts, or a printers file, one per line (# starts a comment; - reads standard input)."},
      {"-j, --jobs", "N", "Ask at most N consoles at a time (default 16)."},
      kJson,
      {"--printers-out", "FILE",
       "Write a printers file of the answering printers, with their models, for download "
       "--printers-from."},
      kIdentity, kSnmpVersion, kSnmpCommunity, kSnmpUser, kSnmpAuth, kSnmpPriv}},
    {"job", "PACKAGE --printer P [--model M] [--no-command] [--init-items N] -o FILE", "write the bytes a download would send, without sending them",
     "Writes the exact job stream a download of PACKAGE to the printer would send (the "
     "download command, the data and the restart command) into a file, and says whether the "
     "printer could be updated as things stand.",
     {kPrinter, kModel, kNoCommand, kInitItems,
      {"-o, --output", "FILE", "The file to write the job into (needed)."}}},
    {"download",
     "PACKAGE {--printer P... | --printers-from FILE} [--model M] [--no-command] "
     "[--init-items N] [--yes] [--force] [--jobs N] [--json] [--skip-current] [--allow-downgrade] "
     "[--resume FILE] [--verify [--verify-timeout S]] [--no-hold] [--canary N] "
     "[--max-failures N|P%] [--dry-run] [--plan-out FILE] "
     "[--identity LIST] [--snmp-version V] [--snmp-community C] [--snmp-user U] "
     "[--snmp-auth PROTOCOL:PASS] [--snmp-priv PROTOCOL:PASS] | "
     "--plan FILE [--json] [--jobs N] [--verify] [--identity LIST] [--snmp-* OPTIONS]",
     "load the package into one printer or a batch of printers",
     "Checks the package against each printer's model, asks the confirmations the model needs "
     "on the terminal, then sends the data as a raw job through the spooler or as an upload to "
     "the printer's FTP server, and logs every successful download. With several printers, all "
     "confirmations are asked first, then the transfers run; a table of the outcomes ends the "
     "run.\n\n"
     "Ctrl+C aborts the running transfers (the spooler job is cancelled) and removes the job "
     "files. Two downloads to the same printer never run at the same time, also not against "
     "the windowed program.",
     {{"--printer", "P",
       "A printer to update: a spooler queue name or ftp://HOST/FOLDER. Give it several times "
       "for a batch."},
      {"--printers-from", "FILE",
       "Printers to update, one per line; blank lines and lines starting with # are skipped; - "
       "reads standard input. model=M after a printer gives that printer's model."},
      kModel, kNoCommand, kDownloadInitItems,
      {"-y, --yes", "",
       "Accept the routine confirmations: the start, the package's begin message and notices "
       "(needed when there is no terminal)."},
      {"--force", "",
       "Also accept what puts a printer at risk: a package not made for its model, a model "
       "that is unknown or cannot be updated over its connection, several ports, download mode "
       "set by hand. Without it such a printer is refused (exit 12) and receives nothing. A "
       "printer whose console does not answer when its model must be asked is unreachable "
       "(exit 5) and receives nothing, also with --force; --model names the model instead."},
      {"-j, --jobs", "N",
       "Run at most N transfers at a time, 1 to 64 (default 1); the printers' checks run as "
       "many at a time, and each transfer starts once its own printer's checks passed."},
      kJson,
      {"--skip-current", "",
       "Skip a printer whose console reports the package's version (versions compare as "
       "numbers part by part: 2.10 = V2.10.0, 2.9 < 2.10)."},
      {"--allow-downgrade", "",
       "Send a package older than the version the printer reports (refused otherwise, exit 12). "
       "The version is asked of every printer's console its route can reach; a printer whose "
       "version cannot be known is not refused for that alone. With a model given, this "
       "option spares the query."},
      {"--resume", "FILE",
       "Try only the printers whose line in that earlier --json output did not succeed. A FILE "
       "that cannot be read, is empty, names none of the batch's printers, or is the file "
       "standard output goes to (the shell has emptied it) is an input error (exit 2) and "
       "nothing is sent."},
      {"--verify", "",
       "After each success wait for the printer's restart and ask its identity sources again, in "
       "the same order; where a source tells the uptime (IPP printer-up-time, SNMP sysUpTime) "
       "the restart counts only once the uptime is lower than before the transfer. A printer "
       "that does not come back with the package's version, or comes back as another model, "
       "serial or UUID, is unverified (exit 11)."},
      {"--verify-timeout", "S", "How long --verify waits for a printer (default 300 s)."},
      {"--no-hold", "",
       "Do not hold a spooler queue while its printer is updated. Without it the queue takes "
       "users' jobs but keeps them back, showing \"firmware update in progress\", until the "
       "firmware job has ended (with --verify, until the restart has been seen); a job of others still printing after 60 s refuses the update "
       "(exit 5, nothing sent)."},
      {"--canary", "N",
       "Send to the first N printers that are to be sent to, and (with --verify) verify them, "
       "before any other transfer starts. If one of them fails, nothing else starts: the other "
       "printers end not_started with the reason canary_failed (exit 12, nothing sent)."},
      {"--max-failures", "N|P%",
       "Start no new transfer once N printers (or P% of the batch's printers, rounded up) "
       "have failed in the run; running transfers end as they would. Failures are counted "
       "over the whole run, canary included, never per wave: a printer counts once, when its "
       "transfer failed or was aborted, when it was unreachable, or when --verify found it "
       "unverified. Refused, skipped, declined and busy printers do not count (nothing was "
       "tried on them). The printers not started end not_started with the reason "
       "max_failures (exit 12, nothing sent)."},
      kDryRun, kPlanOut, kPlan, kDownloadIdentity, kSnmpVersion, kSnmpCommunity, kSnmpUser,
      kSnmpAuth, kSnmpPriv}},
    {"history", "[--printer P] [--since TIME] [--json]", "list every download attempt",
     "Lists the download history (every attempt, success or failure) from history.sqlite in the "
     "data folder, oldest first: time, user, package and its SHA-256, description and version, "
     "printer, route, model, initialisation items, result code, detail, bytes sent and seconds.",
     {{"--printer", "P", "Only the attempts to this printer."},
      {"--since", "TIME", "Only attempts from that local date (2026-01-31) or time (2026-01-31T08:00) on."},
      kJson}},
    {"help", "[COMMAND]", "show the help of a command",
     "Shows the help of COMMAND, or the overview without one.",
     {}},
};

const std::vector<OptionDoc> kCommon = {
    {"-h, --help", "", "Show the help (of the command when one is given) and exit."},
    {"--version", "", "Show the version and exit."},
    {"-v, --verbose", "",
     "Say more: name the settings and log files used, report the progress line by line when "
     "standard error is not a terminal, and say when Ctrl+C has been heard and the running "
     "transfers are stopping."},
    {"-q, --quiet", "",
     "Say less: no progress and no notices on standard error, only questions and errors."},
};

const char kPrinterText[] =
    "A printer is a spooler queue name or ftp://HOST/FOLDER (the printer's FTP server; its "
    "folder is normally vesta0).";

std::string OptionHead(const OptionDoc& o) {
  std::string head = o.flags;
  if (*o.value) head += std::string(" ") + o.value;
  return head;
}

// "  --model M        text..." with the text aligned in a second column.
std::string OptionLines(const std::vector<OptionDoc>& options) {
  std::string out;
  for (const OptionDoc& o : options) {
    const std::string head = "  " + OptionHead(o);
    constexpr int kColumn = 24;
    std::string text = Wrap(Tr(o.text), kColumn, kWidth);
    if (static_cast<int>(head.size()) + 2 <= kColumn) {
      out += head + text.substr(head.size());
    } else {
      out += head + "\n" + text;
    }
  }
  return out;
}

std::string RoffOptions(const std::vector<OptionDoc>& options) {
  std::string out;
  for (const OptionDoc& o : options) {
    out += ".TP\n\\fB" + quillon::RoffText(o.flags) + "\\fR";
    if (*o.value) out += " \\fI" + quillon::RoffText(o.value) + "\\fR";
    out += "\n" + quillon::RoffText(o.text) + "\n";
  }
  return out;
}

}  // namespace

const std::vector<CommandDoc>& CommandDocs() { return kCommands; }
const std::vector<OptionDoc>& CommonOptionDocs() { return kCommon; }

const CommandDoc* FindCommandDoc(const std::string& name) {
  for (const CommandDoc& c : kCommands) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

std::string LongName(const OptionDoc& option) {
  const std::string flags = option.flags;
  const std::size_t at = flags.find("--");
  return at == std::string::npos ? std::string() : flags.substr(at + 2);
}

std::string Wrap(const std::string& text, int indent, int width) {
  return quillon::WrapText(text, indent, width);
}

std::string Synopsis(const CommandDoc& c) {
  return std::string("quillon-cli ") + c.name + (*c.usage ? std::string(" ") + c.usage : "");
}

// The items of a synopsis: bracketed groups whole, an option with its value.
std::vector<std::string> SynopsisItems(const std::string& usage) {
  std::vector<std::string> items;
  std::string item;
  int depth = 0;
  for (char c : usage + " ") {
    if (c == '[' || c == '{') ++depth;
    if (c == ']' || c == '}') --depth;
    if (c != ' ' || depth > 0) {
      item += c;
      continue;
    }
    if (item.empty()) continue;
    const bool value = !items.empty() && items.back()[0] == '-' &&
                       items.back().find(' ') == std::string::npos && item[0] != '-';
    if (value) {
      items.back() += " " + item;
    } else {
      items.push_back(item);
    }
    item.clear();
  }
  return items;
}

// The synopsis, broken before an item where it is too long.
std::string WrapSynopsis(const CommandDoc& c) {
  std::string out = "  ", line = std::string("quillon-cli ") + c.name;
  std::size_t indent = 2;  // continuation lines are indented further
  for (const std::string& item : SynopsisItems(c.usage)) {
    if (line.size() + 1 + item.size() + indent > static_cast<std::size_t>(kWidth)) {
      out += line + "\n     ";
      line.clear();
      indent = 5;
    }
    line += " " + item;
  }
  return out + line + "\n";
}

std::string UsageHint(const std::string& command) {
  if (!FindCommandDoc(command)) return Tr("Try 'quillon-cli --help'.");
  std::string hint = Tr("Try 'quillon-cli COMMAND --help'.");
  return hint.replace(hint.find("COMMAND"), 7, command);
}

// A summary as a sentence of the run's language.
std::string Sentence(const char* summary) {
  return JapaneseRun() && JapaneseOf(summary) ? Tr(summary) + "。" : std::string(summary) + ".";
}

std::string GlobalHelp() {
  std::string out = Tr("Usage: quillon-cli COMMAND [OPTION]...") + "\n\n" + Tr("Commands:") + "\n";
  for (const CommandDoc& c : kCommands) {
    out += WrapSynopsis(c) + Wrap(Tr(c.summary), 6, kWidth);
  }
  out += "\n" + Wrap(Tr(kPrinterText), 0, kWidth) + "\n" + Tr("Options of every command:") + "\n" +
         OptionLines(kCommon) + "\n" + Tr("'quillon-cli help COMMAND' shows the options of a command.") +
         "\n\n" + ExitCodeHelp();
  return out;
}

std::string CommandHelp(const CommandDoc& c) {
  std::string out = Tr("Usage:") + "\n" + WrapSynopsis(c) + "\n" + Wrap(Sentence(c.summary), 2, kWidth) +
                    "\n" + Wrap(Tr(c.text), 2, kWidth);
  if (!c.options.empty()) out += "\n" + Tr("Options:") + "\n" + OptionLines(c.options);
  out += "\n" + Tr("Options of every command:") + "\n" + OptionLines(kCommon);
  return out;
}

std::string CliManPage() {
  std::string out =
      ".\\\" The manual of quillon-cli, written from the program's own help.\n"
      ".TH QUILLON\\-CLI 1 \"\" \"quillon " QUILLON_VERSION "\" \"User Commands\"\n"
      ".SH NAME\nquillon\\-cli \\- load new firmware into page printers from scripts\n"
      ".SH SYNOPSIS\n";
  for (const CommandDoc& c : kCommands) out += ".B\n" + quillon::RoffText(Synopsis(c)) + "\n.br\n";
  out += ".SH DESCRIPTION\n" +
         quillon::RoffParagraphs("quillon-cli runs the download of the windowed program quillon without "
                        "a window or display, for scripts and batches of printers. Results go to "
                        "standard output, messages for people to standard error; the questions "
                        "the window would ask are asked on the terminal.\n\n" +
                        std::string(kPrinterText));
  out += ".SH COMMANDS\n";
  for (const CommandDoc& c : kCommands) {
    out += ".SS " + quillon::RoffText(c.name) + "\n" + quillon::RoffText(std::string(c.summary) + ".") + "\n" + quillon::RoffParagraphs(c.text);
    if (!c.options.empty()) out += ".PP\nOptions:\n.RS\n" + RoffOptions(c.options) + ".RE\n";
  }
  out += ".SH OPTIONS\nEvery command takes these options.\n" + RoffOptions(kCommon);
  out += ".SH EXIT STATUS\n";
  for (const ExitDoc& e : ExitCodeDocs()) {
    out += ".TP\n.B " + std::to_string(e.code) + "\n" + quillon::RoffText(e.text) + "\n";
  }
  out += ".PP\n" + quillon::RoffText(ExitCodeNote()) + "\n";
  out += ".SH ENVIRONMENT\n.TP\n.B CUPS_SERVER\nThe CUPS server whose queues are the printers.\n"
         ".TP\n.B LANG\nJapanese locales show the program's messages in Japanese, others in "
         "English.\n";
  out += ".SH FILES\n.TP\n.I ~/.config/quillon/QUILLON.INI\nSettings and the model table, "
         "shared with quillon.\n.TP\n.I ~/.local/share/quillon/DownLoad.log\nOne line per "
         "successful download.\n";
  out += ".SH EXAMPLES\n.nf\nquillon\\-cli info FW.RXV\nquillon\\-cli download FW.RXV "
         "\\-\\-printers\\-from printers.txt \\-\\-jobs 2 \\-\\-yes \\-\\-json > result.jsonl\n.fi\n";
  out += ".SH SEE ALSO\n.BR quillon (1),\n.BR lpstat (1)\n";
  return out;
}

}  // namespace cli
