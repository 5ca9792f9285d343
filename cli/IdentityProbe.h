#pragma once
// A printer's identity for the CLI: the sources and credentials of the
// settings file ([Identity], [Identity HOST], [SnmpFirmware]) with the
// command line's options over them, the console asked through AskConsole,
// every request cut by Ctrl+C.

#include <string>

#include "cli/ConsoleProbe.h"
#include "core/identity/PrinterIdentity.h"

class TDLPrinterList;
class TQUILLONApp;
namespace platform { class ProfileFile; }

namespace cli {

struct Options;

// The configuration for host; a bad setting is named in error (the run
// goes on with its default).
quillon::identity::Config IdentityConfigFor(const Options& options, const platform::ProfileFile& ini,
                                   const std::string& host, std::string& error);

// Asks host's sources in the configured order. Thread-safe.
quillon::identity::Answer AskIdentity(const std::string& host, const quillon::identity::Config& config,
                             const TDLPrinterList& models);
// The same with the configuration of app's settings file and the options:
// the one call for a command that asks one printer. A bad setting is
// named in settingsError.
quillon::identity::Answer AskIdentity(const std::string& host, const Options& options,
                             const TQUILLONApp& app, std::string* settingsError = nullptr);

// "console: ...; ipp: ...": the cause of each source that did not answer.
std::string CausesText(const quillon::identity::Answer& answer);

// The answer in the console's shape, for the checks made for it: reachable
// when any source named the printer; when none did, the console's code
// (so a console that answered without naming a model stays told apart
// from one that did not answer) and every source's cause as the message.
ConsoleAnswer AsConsoleAnswer(const quillon::identity::Answer& answer);

}  // namespace cli
