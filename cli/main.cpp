// quillon-cli: the download core without a window, for scripts and
// batches of printers.
#include <QCoreApplication>

#include <exception>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/HelpText.h"
#include "cli/Output.h"
#include "cli/Signals.h"
#include "core/app/QuillonApp.h"
#include "core/command/DownloadCommand.h"
#include "resources/Translations.h"

using quillon::DownloadCommandCore;

int main(int argc, char** argv) {
  // The same folders as the windowed program: settings, data, log.
  QCoreApplication::setApplicationName(QStringLiteral("quillon"));
  QCoreApplication qapp(argc, argv);
  quillon::InstallTranslations(qapp);
  cli::InstallInterruptHandlers();

  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  cli::Options options;
  std::string error;
  if (!cli::ParseArguments(args, options, error)) {
    // One line for what is wrong and where to read more.
    cli::ErrLine(error);
    cli::ErrText(cli::UsageHint(options.command) + "\n");
    return cli::kExitInput;
  }
  if (options.help) {
    const cli::CommandDoc* doc = cli::FindCommandDoc(options.command);
    cli::OutText(doc ? cli::CommandHelp(*doc) : cli::GlobalHelp());
    return cli::kExitOk;
  }
  if (options.version) {
    cli::OutLine("quillon-cli " QUILLON_VERSION);
    return cli::kExitOk;
  }
  cli::SetVerbosity(options.quiet ? cli::Verbosity::Quiet
                                  : options.verbose ? cli::Verbosity::Verbose : cli::Verbosity::Normal);
  cli::VerboseLine("settings " + TQUILLONApp::DefaultSettingsPath());
  cli::VerboseLine("download log " + DownloadCommandCore::DefaultLogPath());
  try {
    if (options.command == "info") return cli::RunInfo(options);
    if (options.command == "printers") return cli::RunPrinters(options);
    if (options.command == "query") return cli::RunQuery(options);
    if (options.command == "inventory") return cli::RunInventory(options);
    if (options.command == "job") return cli::RunJob(options);
    if (options.command == "history") return cli::RunHistory(options);
    return cli::RunDownload(options);
  } catch (const std::exception& e) {
    cli::ErrLine(e.what());
    return cli::kExitSendFailed;
  }
}
