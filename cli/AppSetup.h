#pragma once
// The application object of a command-line run: the user's settings and
// model table, never written back, with the options applied the way the
// windowed program's command line applies /NC and /M=.

#include <memory>
#include <string>

class TQUILLONApp;

namespace cli {

struct Options;

std::unique_ptr<TQUILLONApp> MakeApp(const Options& options);

// Selects the printer as the window does: the spooler's record, or the FTP
// printer's console answer. --model takes the place of the console query
// and answers the model question of a queue whose driver names no model.
void SelectTarget(TQUILLONApp& app, const std::string& printer, const Options& options);

// A second application object for one transfer, holding what the output
// thread reads: the selected printer and its record, the settings, the
// initialisation items. The package is lent by `from` (see LendPackage).
std::unique_ptr<TQUILLONApp> CopyForTransfer(const TQUILLONApp& from, const Options& options);

// The transfer objects read the one package of the run: they borrow it and
// give it back before they are destroyed, so it is opened (and held in
// memory) once however many printers there are.
class LentPackage {
 public:
  LentPackage(TQUILLONApp& owner, TQUILLONApp& borrower);
  ~LentPackage();
  LentPackage(const LentPackage&) = delete;
  LentPackage& operator=(const LentPackage&) = delete;

 private:
  TQUILLONApp& borrower_;
};

// "spooler" or "ftp": the route the output thread takes for the printer.
std::string RouteOf(const std::string& printer);

}  // namespace cli
