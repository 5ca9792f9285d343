// Writes what the packages carry from the programs' own help tables:
//   quillon-docs man quillon       quillon(1)
//   quillon-docs man quillon-cli   quillon-cli(1)
//   quillon-docs completion        the bash completion of quillon-cli
#include <cstdio>
#include <string>

#include "cli/HelpText.h"
#include "gui/ProgramUsage.h"

namespace {

// The completion script: the commands, each command's options, files
// where a file is wanted and the spooler's queues for --printer.
std::string Completion() {
  std::string commands, cases, common;
  for (const cli::OptionDoc& o : cli::CommonOptionDocs()) common += std::string(" ") + o.flags;
  for (const cli::CommandDoc& c : cli::CommandDocs()) {
    commands += std::string(" ") + c.name;
    std::string options;
    for (const cli::OptionDoc& o : c.options) options += std::string(" ") + o.flags;
    cases += std::string("    ") + c.name + ") opts=\"" + options + "\" ;;\n";
  }
  std::string out =
      "# bash completion for quillon-cli, written from its help table.\n"
      "_quillon_cli() {\n"
      "  local cur prev words cword\n"
      "  _init_completion -n = || return\n"
      "  local commands=\"" + commands.substr(1) + "\"\n"
      "  local common=\"" + common + "\"\n"
      "  local cmd=\"\" i\n"
      "  for ((i = 1; i < cword; i++)); do\n"
      "    case \"${words[i]}\" in -*) ;; *) cmd=${words[i]}; break ;; esac\n"
      "  done\n"
      "  case \"$prev\" in\n"
      "    --printer)\n"
      "      COMPREPLY=($(compgen -W \"$(LC_ALL=C lpstat -e 2>/dev/null)\" -- \"$cur\"))\n"
      "      return ;;\n"
      "    --printers-from|-o|--output)\n"
      "      _filedir\n"
      "      return ;;\n"
      "    --model|--init-items|-j|--jobs)\n"
      "      return ;;\n"
      "  esac\n"
      "  if [[ -z $cmd ]]; then\n"
      "    COMPREPLY=($(compgen -W \"$commands $common\" -- \"$cur\"))\n"
      "    return\n"
      "  fi\n"
      "  local opts=\"\"\n"
      "  case \"$cmd\" in\n" + cases +
      "  esac\n"
      "  opts=${opts//,/}\n"
      "  if [[ $cur == -* ]]; then\n"
      "    COMPREPLY=($(compgen -W \"$opts $common\" -- \"$cur\"))\n"
      "  elif [[ $cmd == help ]]; then\n"
      "    COMPREPLY=($(compgen -W \"$commands\" -- \"$cur\"))\n"
      "  elif [[ $cmd == query ]]; then\n"
      "    _known_hosts_real -- \"$cur\"\n"
      "  else\n"
      "    _filedir '@(rxf|RXF|rx_|RX_|rxv|RXV)'\n"
      "  fi\n"
      "} &&\n"
      "  complete -F _quillon_cli quillon-cli\n";
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
  } else {
    std::fputs("usage: quillon-docs man quillon|quillon-cli | completion\n", stderr);
    return 2;
  }
  return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
}
