// Writes what the packages carry from the programs' own help tables:
//   quillon-docs man quillon       quillon(1)
//   quillon-docs man quillon-cli   quillon-cli(1)
//   quillon-docs completion        the bash completion of quillon-cli
//   quillon-docs zsh-completion    its zsh completion
#include <algorithm>
#include <cstdio>
#include <vector>
#include <string>

#include "cli/HelpText.h"
#include "gui/ProgramUsage.h"

namespace {

// "-o, --output" as its separate names.
std::vector<std::string> Names(const cli::OptionDoc& o) {
  std::vector<std::string> names;
  std::string name;
  for (const char* c = o.flags;; ++c) {
    if (*c == ',' || *c == ' ' || *c == '\0') {
      if (!name.empty()) names.push_back(name);
      name.clear();
      if (*c == '\0') break;
    } else {
      name += *c;
    }
  }
  return names;
}

std::string Joined(const std::vector<std::string>& names, const char* sep) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : sep) + n;
  return out;
}

// Every option of the tables, once, by what its value is: a file (FILE),
// a printer (P), something else, or none.
struct OptionKinds {
  std::vector<std::string> files, printers, values;
};

void Add(std::vector<std::string>& list, const std::string& name) {
  if (std::find(list.begin(), list.end(), name) == list.end()) list.push_back(name);
}

OptionKinds Kinds() {
  OptionKinds k;
  auto sort = [&](const cli::OptionDoc& o) {
    const std::string value = o.value;
    for (const std::string& n : Names(o)) {
      if (value == "FILE") Add(k.files, n);
      else if (value == "P") Add(k.printers, n);
      else if (!value.empty()) Add(k.values, n);
    }
  };
  for (const cli::OptionDoc& o : cli::CommonOptionDocs()) sort(o);
  for (const cli::CommandDoc& c : cli::CommandDocs())
    for (const cli::OptionDoc& o : c.options) sort(o);
  return k;
}

std::vector<std::string> AllNames(const std::vector<cli::OptionDoc>& options) {
  std::vector<std::string> names;
  for (const cli::OptionDoc& o : options)
    for (const std::string& n : Names(o)) Add(names, n);
  return names;
}

// The bash completion: the commands, each command's options (each name on
// its own), any file after an option whose value is a file, the spooler's
// queues after --printer, packages where a package is wanted.
std::string Completion() {
  const OptionKinds k = Kinds();
  std::string commands, cases;
  for (const cli::CommandDoc& c : cli::CommandDocs()) {
    commands += std::string(" ") + c.name;
    cases += std::string("    ") + c.name + ") opts=\"" + Joined(AllNames(c.options), " ") + "\" ;;\n";
  }
  std::string out =
      "# bash completion for quillon-cli, written from its help table.\n"
      "_quillon_cli() {\n"
      "  local cur prev words cword\n"
      "  _init_completion || return\n"
      "  local commands=\"" + commands.substr(1) + "\"\n"
      "  local common=\"" + Joined(AllNames(cli::CommonOptionDocs()), " ") + "\"\n"
      "  local cmd=\"\" i\n"
      "  for ((i = 1; i < cword; i++)); do\n"
      "    case \"${words[i]}\" in\n"
      "      " + Joined(k.files, "|") + "|" + Joined(k.printers, "|") + "|" + Joined(k.values, "|") +
      ") ((i++)) ;;\n"
      "      -*) ;;\n"
      "      *) cmd=${words[i]}; break ;;\n"
      "    esac\n"
      "  done\n"
      "  case \"$prev\" in\n"
      "    " + Joined(k.printers, "|") + ")\n"
      "      COMPREPLY=($(compgen -W \"$(LC_ALL=C lpstat -e 2>/dev/null)\" -- \"$cur\"))\n"
      "      return ;;\n"
      "    " + Joined(k.files, "|") + ")\n"
      "      _filedir\n"
      "      return ;;\n"
      "    " + Joined(k.values, "|") + ")\n"
      "      return ;;\n"
      "  esac\n"
      "  if [[ -z $cmd ]]; then\n"
      "    COMPREPLY=($(compgen -W \"$commands $common\" -- \"$cur\"))\n"
      "    return\n"
      "  fi\n"
      "  local opts=\"\"\n"
      "  case \"$cmd\" in\n" + cases +
      "  esac\n"
      "  if [[ $cur == -* ]]; then\n"
      "    COMPREPLY=($(compgen -W \"$opts $common\" -- \"$cur\"))\n"
      "  elif [[ $cmd == help ]]; then\n"
      "    COMPREPLY=($(compgen -W \"$commands\" -- \"$cur\"))\n"
      "  elif [[ $cmd == query || $cmd == inventory ]]; then\n"
      "    _known_hosts_real -- \"$cur\"\n"
      "  else\n"
      "    _filedir '@(rxf|RXF|rx_|RX_|rxv|RXV)'\n"
      "  fi\n"
      "} &&\n"
      "  complete -F _quillon_cli quillon-cli\n";
  return out;
}

// zsh: the same tables through _arguments, one state per command.
std::string ZshQuote(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\'') out += "'\\''";
    else if (c == '[' || c == ']' || c == ':') out += std::string("\\") + c;
    else out += c;
  }
  return out;
}

std::string ZshSpecs(const std::vector<cli::OptionDoc>& options) {
  std::string out;
  for (const cli::OptionDoc& o : options) {
    const std::string value = o.value;
    const std::string action = value == "FILE" ? ":file:_files"
                               : value == "P"  ? ":printer:_quillon_cli_queues"
                               : value.empty() ? ""
                                               : ":" + ZshQuote(value) + ": ";
    // The first sentence describes the option in the menu.
    std::string text = o.text;
    const std::size_t stop = text.find(". ");
    if (stop != std::string::npos) text = text.substr(0, stop);
    if (!text.empty() && text.back() == '.') text.pop_back();
    for (const std::string& n : Names(o))
      out += "    '" + n + "[" + ZshQuote(text) + "]" + action + "' \\\n";
  }
  return out;
}

std::string ZshCompletion() {
  std::string out =
      "#compdef quillon-cli\n"
      "# zsh completion for quillon-cli, written from its help table.\n"
      "_quillon_cli_queues() {\n"
      "  local -a queues\n"
      "  queues=(${(f)\"$(LC_ALL=C lpstat -e 2>/dev/null)\"})\n"
      "  compadd -a queues\n"
      "}\n"
      "_quillon_cli() {\n"
      "  local -a commands common\n"
      "  commands=(\n";
  for (const cli::CommandDoc& c : cli::CommandDocs())
    out += std::string("    '") + c.name + ":" + ZshQuote(c.summary) + "'\n";
  out += "  )\n  common=(\n" + ZshSpecs(cli::CommonOptionDocs()) + "  )\n"
         "  if (( CURRENT == 2 )); then\n"
         "    _describe command commands\n"
         "    _arguments $common\n"
         "    return\n"
         "  fi\n"
         "  local cmd=${words[2]}\n"
         "  shift words; (( CURRENT-- ))\n"
         "  case $cmd in\n";
  for (const cli::CommandDoc& c : cli::CommandDocs()) {
    const std::string name = c.name;
    const std::string rest = name == "help"                          ? "'1:command:(" + Joined([] {
                                 std::vector<std::string> n;
                                 for (const cli::CommandDoc& d : cli::CommandDocs()) n.push_back(d.name);
                                 return n;
                               }(), " ") + ")'"
                             : name == "query" || name == "inventory" ? "'*:host:_hosts'"
                             : name == "info" || name == "job" || name == "download"
                                 ? "'1:package:_files -g \"*.(rxf|RXF|rx_|RX_|rxv|RXV)\"'"
                                 : "";
    out += "    " + name + ")\n      _arguments $common \\\n" + ZshSpecs(c.options) + "    " + rest + " ;;\n";
  }
  out += "  esac\n}\n_quillon_cli \"$@\"\n";
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  const std::string which = argc > 2 ? argv[2] : "";
  std::string text;
  if (what == "man" && which == "quillon") {
    text = quillon::ProgramManPage();
  } else if (what == "man" && which == "quillon-cli") {
    text = cli::CliManPage();
  } else if (what == "completion") {
    text = Completion();
  } else if (what == "zsh-completion") {
    text = ZshCompletion();
  } else {
    std::fputs("usage: quillon-docs man quillon|quillon-cli | completion | zsh-completion\n", stderr);
    return 2;
  }
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
}
