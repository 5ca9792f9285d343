#pragma once
// The application object of a command-line run: the user's settings and
// model table, never written back, with the options applied the way the
// windowed program's command line applies /NC and /M=.

#include <cstdint>
#include <memory>
#include <string>

class TQUILLONApp;

namespace cli {

struct Options;

std::unique_ptr<TQUILLONApp> MakeApp(const Options& options);

// Selects the printer as the window does: the spooler's record, or the FTP
// printer's console answer. --model takes the place of the console query
// and answers the model question of a queue whose driver names no model.
// The initialisation items of --init-items, else the default ones: what a
// download's start question offers.
std::uint32_t InitItemsOf(const Options& options);

void SelectTarget(TQUILLONApp& app, const std::string& printer, const Options& options);

// "spooler" or "ftp": the route the output thread takes for the printer.
std::string RouteOf(const std::string& printer);

}  // namespace cli
