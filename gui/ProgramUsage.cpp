#include "gui/ProgramUsage.h"

#include <algorithm>

#include "resources/HelpFormat.h"

#ifndef QUILLON_VERSION
#define QUILLON_VERSION "0.0.0"
#endif

namespace quillon {
namespace {

const char kSynopsis[] = "quillon [PACKAGE] [/PR=printer | /HN=host] [/M=model] [/NM] [/NC] [/NO]";

const char kDescription[] =
    "quillon loads new firmware into page printers. The operator picks a firmware package (a "
    ".RXF header, its compressed form .RX_, or a cabinet .RXV) and a printer; quillon checks "
    "that the package fits the printer's model, asks the confirmations the model needs, sends "
    "the data as a raw job through CUPS or as an upload to the printer's FTP server, watches it "
    "through, reports the outcome and logs it.\n\n"
    "PACKAGE, the first argument that does not start with /, is opened at start. Options start "
    "with / and ignore letter case; options it does not know are ignored. Only one copy runs "
    "per user: a second one brings the first to the front and exits with status 1.";

const std::vector<ProgramOptionDoc> kOptions = {
    {"/PR=name", "Preselect a CUPS queue, or a complete ftp://host/folder address."},
    {"/HN=host",
     "Preselect the printer's FTP server at host, folder vesta0, and hide the list of local "
     "printers."},
    {"/M=model", "The model of an FTP printer, when its console cannot be asked."},
    {"/NM", "No questions and no notices: each counts as answered OK."},
    {"/NC", "No download command around the data."},
    {"/NO", "With a package and a printer, download unattended and close."},
    {"--help", "Show this help and exit."},
    {"--version", "Show the version and exit."},
};

bool Has(const std::vector<std::string>& args, std::initializer_list<const char*> names) {
  return std::any_of(args.begin(), args.end(), [&](const std::string& a) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return a == n; });
  });
}

}  // namespace

const std::vector<ProgramOptionDoc>& ProgramOptionDocs() { return kOptions; }

bool AsksForHelp(const std::vector<std::string>& args) { return Has(args, {"--help", "-h"}); }
bool AsksForVersion(const std::vector<std::string>& args) { return Has(args, {"--version"}); }

std::string ProgramHelp() {
  std::string out = std::string("Usage: ") + kSynopsis + "\n\n" + WrapText(kDescription, 0, 79) +
                    "\nOptions:\n";
  for (const ProgramOptionDoc& o : kOptions) {
    std::string head = std::string("  ") + o.option;
    const std::string text = WrapText(o.text, 14, 79);
    out += head.size() + 2 <= 14 ? head + text.substr(head.size()) : head + "\n" + text;
  }
  out += "\nquillon-cli runs the same download without a window, for scripts.\n";
  return out;
}

std::string ProgramManPage() {
  std::string out =
      ".\\\" The manual of quillon, written from the program's own help.\n"
      ".TH QUILLON 1 \"\" \"quillon " QUILLON_VERSION "\" \"User Commands\"\n"
      ".SH NAME\nquillon \\- load new firmware into page printers\n"
      ".SH SYNOPSIS\n.B\n" +
      RoffText(kSynopsis) + "\n.SH DESCRIPTION\n" + RoffParagraphs(kDescription) + ".SH OPTIONS\n";
  for (const ProgramOptionDoc& o : kOptions) {
    out += ".TP\n.B " + RoffText(o.option) + "\n" + RoffText(o.text) + "\n";
  }
  out += ".SH ENVIRONMENT\n.TP\n.B CUPS_SERVER\nThe CUPS server whose queues are the printers.\n"
         ".TP\n.B LANG\nJapanese locales show the window in Japanese, others in English.\n"
         ".TP\n.B QT_QPA_PLATFORM\nWith offscreen or minimal, every box writes its text to "
         "standard error and takes its default button, so an unattended run ends by itself.\n";
  out += ".SH FILES\n.TP\n.I ~/.config/quillon/QUILLON.INI\nSettings and the model table.\n"
         ".TP\n.I ~/.local/share/quillon/DownLoad.log\nOne line per successful download.\n"
         ".TP\n.I /usr/share/quillon/QUILLON.HLP\nThe help, unless a copy lies beside the "
         "program.\n";
  out += ".SH EXAMPLES\n.nf\nquillon FW.RXV /PR=office\\-printer /NM /NO\n.fi\n";
  out += ".SH SEE ALSO\n.BR quillon\\-cli (1)\n";
  return out;
}

}  // namespace quillon
