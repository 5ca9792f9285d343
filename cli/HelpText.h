#pragma once
// The help of quillon-cli: one table of its commands and options, from
// which --help, "help COMMAND", COMMAND --help and the manual page
// quillon-cli(1) are all written, so they cannot drift apart.
//
// A new command or option gets its help by one entry in HelpText.cpp
// (kCommands, or an OptionDoc listed there); the parser's test checks that
// every option it accepts is described there.

#include <string>
#include <vector>

namespace cli {

struct OptionDoc {
  const char* flags;  // "-o, --output"
  const char* value;  // "FILE", or "" for a switch
  const char* text;   // one paragraph, no line breaks
};

struct CommandDoc {
  const char* name;
  const char* usage;     // what follows the command in its synopsis
  const char* summary;   // one line
  const char* text;      // paragraphs separated by "\n\n", no other breaks
  std::vector<OptionDoc> options;
};

const std::vector<CommandDoc>& CommandDocs();
const CommandDoc* FindCommandDoc(const std::string& name);
// The options every command takes (--help, --version, -v, -q).
const std::vector<OptionDoc>& CommonOptionDocs();

// The long option name of a doc ("--output" of "-o, --output"), without dashes.
std::string LongName(const OptionDoc& option);

// --help without a command: the commands, the printer forms, the common
// options and the exit codes.
std::string GlobalHelp();
// COMMAND --help and help COMMAND.
std::string CommandHelp(const CommandDoc& command);
// The synopsis line of a command ("quillon-cli job PACKAGE --printer P ...").
std::string Synopsis(const CommandDoc& command);
// The hint after a usage error.
std::string UsageHint(const std::string& command);

// Text wrapped to width columns, each line indented by indent spaces.
std::string Wrap(const std::string& text, int indent, int width);

// The manual page quillon-cli(1) in roff.
std::string CliManPage();

}  // namespace cli
