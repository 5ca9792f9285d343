#include "tests/support/DownloadSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

#include "core/app/QuillonApp.h"
#include "core/package/DownDocFile.h"
#include "core/transfer/JobStream.h"
#include "tests/support/TestEnv.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/CupsTestSupport.h"

using quillon::LengthCommand;
using quillon::RestartCommand;
using quillon::kJobPreamble;
using quillon::kJobPreambleSize;

namespace quillon_test {

std::unique_ptr<TQUILLONApp> MakeApp() {
  return std::make_unique<TQUILLONApp>(MakeTestDir("ini") + "/QUILLON.INI");
}

void SetPackage(TQUILLONApp& app, const std::string& data, int enableCommand, int reboot) {
  auto* doc = new TDownDocFile();
  app.Package.reset(doc);
  doc->EnableCommand = enableCommand;
  doc->Reboot = reboot;
  if (data.empty()) return;
  doc->DataBuffer = static_cast<unsigned char*>(std::malloc(data.size()));
  std::memcpy(doc->DataBuffer, data.data(), data.size());
  doc->DataSize = static_cast<std::uint32_t>(data.size());
}

std::string WrappedStream(const std::string& data, unsigned items) {
  return std::string(kJobPreamble, kJobPreambleSize) +
         LengthCommand(static_cast<std::uint32_t>(data.size())) + data + RestartCommand(items);
}

int LastJobId(const std::string& queue) {
  const std::string cmd = "lpstat -W all -o " + ShellQuote(queue) + " 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> p(::popen(cmd.c_str(), "r"), ::pclose);
  if (!p) return 0;
  int best = 0;
  char line[1024];
  const std::string prefix = queue + "-";
  while (std::fgets(line, sizeof line, p.get())) {
    std::istringstream in(line);
    std::string first;
    in >> first;
    if (first.rfind(prefix, 0) != 0) continue;
    const int id = std::atoi(first.c_str() + prefix.size());
    if (id > best) best = id;
  }
  return best;
}

platform::JobStatus JobStatusOf(int jobId) {
  platform::PrinterHandle h;
  // Any queue opens a connection to the server; the job is asked by id.
  const auto names = platform::EnumPrinterNames();
  if (names.empty() || !h.Open(names.front())) return platform::JobStatus::NoAnswer;
  return h.QueryJob(jobId).status;
}

int JobFilesLeft() { return static_cast<int>(package_test::WorkLeftovers().size()); }

}  // namespace quillon_test
