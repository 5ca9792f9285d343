// One refresh of the local printer list, the way the window does it now (one
// request for every queue's record and answers) against the way it did it
// before (the record and each question asked per row), and against
// `lpstat -l -p` listing the same queues: time per refresh, spooler
// requests and connections per refresh, and the ratios. Needs CUPS_SERVER to
// name a server with the queues (bench/printer_list.sh starts a private one).
//   bench_printer_list [RUNS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/app/Funcs.h"
#include "core/app/PrinterRows.h"
#include "core/app/QuillonApp.h"
#include "core/package/DownDocFile.h"
#include "platform/Spooler.h"

using quillon::PrinterRow;
using quillon::ReadPrinterRows;

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
  double ms = 0;  // median time of one refresh
  double requests = 0;
  double connections = 0;
  std::size_t rows = 0;
};

template <typename Refresh>
Figures Measure(int runs, Refresh refresh) {
  std::vector<double> times;
  Figures f;
  const platform::SpoolerTraffic before = platform::SpoolerTrafficSoFar();
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    f.rows = refresh();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  const platform::SpoolerTraffic after = platform::SpoolerTrafficSoFar();
  std::sort(times.begin(), times.end());
  f.ms = times[times.size() / 2];
  f.requests = double(after.requests - before.requests) / runs;
  f.connections = double(after.connections - before.connections) / runs;
  return f;
}

// The per-row path of the earlier list: the record, then the questions in
// the order and with the short cuts the list asked them.
std::size_t ghostedRows = 0;  // keeps the answers alive

std::size_t PerRowRefresh(TQUILLONApp& app) {
  std::vector<std::string> names;
  EnumPrinterNames(names);
  for (const std::string& name : names) {
    TPrinterEntry record{};
    app.GetPrinterRecord(name.c_str(), record);
    bool updatable = app.IsKnownModel(name) == 1 &&
                     (app.ModelFlag(name) != 0 || (GetPortFlags(name) & PORT_LPT) != 0);
    if (app.GetPackage() && app.IsPackageTarget(name) == 0) updatable = false;
    ghostedRows += updatable ? 0 : 1;
  }
  return names.size();
}

std::size_t OnePassRefresh(TQUILLONApp& app) {
  std::vector<PrinterRow> rows;
  ReadPrinterRows(app, rows);
  for (const PrinterRow& row : rows) ghostedRows += (row.updatable && row.packageTarget) ? 0 : 1;
  return rows.size();
}

std::size_t LpstatRefresh() {
  if (std::system("lpstat -l -p >/dev/null 2>&1") != 0) std::fprintf(stderr, "lpstat failed\n");
  return 0;
}

void Print(const char* what, const Figures& f, const Figures& lpstat) {
  std::printf("%-22s %5zu rows %9.2f ms %9.1f requests %8.1f connections  x%.2f lpstat\n", what,
              f.rows, f.ms, f.requests, f.connections, f.ms / lpstat.ms);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const char* tmp = std::getenv("TMPDIR");
  TQUILLONApp app(std::string(tmp ? tmp : "/tmp") + "/bench-printer-list.ini");
  app.SaveSettingsOnExit = false;
  // A package, so that every question of a row is asked.
  app.Package.reset(new TDownDocFile());
  app.Package->PrinterList = {"RX-140", "KV3"};

  const Figures lpstat = Measure(runs, LpstatRefresh);
  const Figures perRow = Measure(runs, [&] { return PerRowRefresh(app); });
  const Figures onePass = Measure(runs, [&] { return OnePassRefresh(app); });
  std::printf("%-22s %5s      %9.2f ms\n", "lpstat -l -p", "", lpstat.ms);
  Print("per row (before)", perRow, lpstat);
  Print("one pass (after)", onePass, lpstat);
  std::printf("one pass / per row: time x%.3f, requests x%.4f\n", onePass.ms / perRow.ms,
              onePass.requests / perRow.requests);
  return onePass.rows == 0 ? 1 : 0;
}
