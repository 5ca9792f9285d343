// Opening 64 MiB packages of each form with the package document, against
// the standard tool doing the same unpacking: cp for a plain header file,
// msexpand for an LZ-compressed one, gcab -x for a cabinet. Reports the
// median times, their ratio, and the peak memory of one open in a fresh
// process. Then the data digest (libcrypto and Qt against sha256sum) and
// how soon a package above the size limit is refused (against the tool
// expanding or copying it).
//
//   bench_package [work folder]   (the folder is emptied first)
//   bench_package --help
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <QByteArray>
#include <QCryptographicHash>

#include "core/package/DownDocFile.h"
#include "core/package/Sha256.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {

constexpr size_t kDataSize = 64u << 20;
constexpr int kRuns = 3;
// A tool run longer than this is not repeated.
constexpr double kLongRun = 20.0;

// Firmware-like data: incompressible stretches mixed with repetitive ones.
std::string MakeData() {
  std::string s(kDataSize, '\0');
  std::uint32_t x = 0x9E3779B9u;
  for (size_t i = 0; i < s.size(); ++i) {
    if ((i >> 12) % 4 == 3) {
      s[i] = static_cast<char>("FIRMWARE"[i % 8]);
    } else {
      x ^= x << 13; x ^= x >> 17; x ^= x << 5;
      s[i] = static_cast<char>(x);
    }
  }
  return s;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& a, const std::string& b = {}) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(a.data(), static_cast<std::streamsize>(a.size()));
  out.write(b.data(), static_cast<std::streamsize>(b.size()));
}

// Runs a command through the shell, waits, returns its wall time in seconds.
double Run(const std::string& cmd) {
  const char* argv[] = {"/bin/sh", "-c", cmd.c_str(), nullptr};
  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
    std::perror("posix_spawn");
    std::exit(1);
  }
  int st = 0;
  waitpid(pid, &st, 0);
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (!WIFEXITED(st) || WEXITSTATUS(st) != 0) {
    std::fprintf(stderr, "failed: %s\n", cmd.c_str());
    std::exit(1);
  }
  return secs;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Peak resident memory of this process image in KiB (VmHWM: unlike the
// rusage figure it starts afresh at exec).
long PeakKiB() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// Child mode: open one package and print the peak memory; with touch, read
// every data byte once as the job stream does.
int OpenOnly(const char* path, const char* icons, bool touch) {
  unsigned sum = 0;
  if (*path) {  // else the baseline: the process without an open
    TDownDocFile doc(path, icons);
    if (doc.Status != 0 || doc.DataSize != kDataSize) return 3;
    if (touch) for (std::uint32_t i = 0; i < doc.DataSize; ++i) sum += doc.DataBuffer[i];
  }
  std::printf("%ld %u\n", PeakKiB(), sum & 1);
  return 0;
}

long ChildPeakKiB(const std::string& cmd) {
  FILE* p = ::popen(cmd.c_str(), "r");
  long kib = -1;
  if (p) {
    if (std::fscanf(p, "%ld", &kib) != 1) kib = -1;
    if (::pclose(p) != 0) kib = -1;
  }
  if (kib < 0) {
    std::fprintf(stderr, "failed: %s\n", cmd.c_str());
    std::exit(1);
  }
  return kib;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // lines as they come, also into a file
  if (argc >= 4 && std::string(argv[1]) == "--open") return OpenOnly(argv[2], argv[3], argc > 4);
  // The work folder is removed before use, so an option is never taken for one.
  if (argc > 1 && argv[1][0] == '-') {
    const std::string arg = argv[1];
    const bool help = arg == "--help" || arg == "-h";
    std::fprintf(help ? stdout : stderr,
                 "usage: bench_package [WORK_FOLDER]\n"
                 "Opens 64 MiB packages of each form against cp, msexpand and gcab -x and\n"
                 "prints the median times and their ratios. WORK_FOLDER (default\n"
                 "$TMPDIR/bench-package) is removed and made anew.\n");
    if (!help) std::fprintf(stderr, "bench_package: unknown option %s\n", arg.c_str());
    return help ? 0 : 2;
  }

  const std::string work = argc > 1 ? argv[1] : fs::temp_directory_path().string() + "/bench-package";
  fs::remove_all(work);
  fs::create_directories(work + "/src");
  fs::create_directories(work + "/out");
  fs::create_directories(work + "/icons");
  const std::string self = fs::canonical("/proc/self/exe").string();

  std::printf("making packages with %zu MiB of data...\n", kDataSize >> 20);
  const std::string data = MakeData();
  const std::string header =
      "[RX_DownLoad]\r\nFileFormat=RXF\r\nDownLoadDesc=bench\r\nDownLoadPrinter=KV3\r\n"
      "[Printers]\r\nKV3=8,1\r\n";
  const std::string rxf = work + "/FW.RXF";
  WriteFile(rxf, header + '\x1A', data);
  const std::string rx_ = work + "/FW.RX_";
  Run("cp '" + rxf + "' '" + work + "/tmp.RXF' && mscompress '" + work + "/tmp.RXF' && mv '" + work +
      "/tmp.RXF_' '" + rx_ + "' && rm '" + work + "/tmp.RXF'");
  WriteFile(work + "/src/HEADER.RXF", header.substr(0, header.find("[Printers]")) + "DownLoadFile=FW1.BIN\r\n");
  WriteFile(work + "/src/FW1.BIN", data);
  WriteFile(work + "/src/LOGO.ico", "icon");
  const std::string rxv = work + "/FW.RXV";
  const std::string rxz = work + "/FWZ.RXV";
  Run("cd '" + work + "/src' && gcab -c '" + rxv + "' HEADER.RXF FW1.BIN LOGO.ico");
  Run("cd '" + work + "/src' && gcab -c -z '" + rxz + "' HEADER.RXF FW1.BIN LOGO.ico");

  struct Form {
    const char* label;
    std::string package;
    std::string tool;
  } forms[] = {
      {"plain .RXF  vs cp      ", rxf, "cp '" + rxf + "' '" + work + "/out/FW.RXF'"},
      {"SZDD  .RX_  vs msexpand", rx_, "msexpand < '" + rx_ + "' > '" + work + "/out/FW.RXF'"},
      {"cab   .RXV  vs gcab -x ", rxv, "gcab -x -C '" + work + "/out' '" + rxv + "'"},
      {"cab/z .RXV  vs gcab -x ", rxz, "gcab -x -C '" + work + "/out' '" + rxz + "'"},
  };

  const long baseKiB = ChildPeakKiB("'" + self + "' --open '' '" + work + "/icons'");
  std::printf("data %zu bytes; %d runs each (tools over 20 s once), medians; process baseline %ld KiB\n", kDataSize, kRuns, baseKiB);
  std::printf("%-25s %10s %10s %7s %11s %11s %11s\n", "form", "open [ms]", "tool [ms]", "ratio",
              "peak [MiB]", "+read [MiB]", "limit [MiB]");
  for (const Form& f : forms) {
    std::vector<double> open, tool;
    for (int i = 0; i < kRuns; ++i) {
      const auto t0 = std::chrono::steady_clock::now();
      {
        TDownDocFile doc(f.package, work + "/icons");
        if (doc.Status != 0 || doc.DataSize != kDataSize) {
          std::fprintf(stderr, "%s: status %u, %u bytes\n", f.label, doc.Status, doc.DataSize);
          return 1;
        }
      }
      open.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
      if (tool.empty() || tool.back() < kLongRun) tool.push_back(Run(f.tool));
      fs::remove_all(work + "/out");
      fs::create_directories(work + "/out");
    }
    const long peakKiB = ChildPeakKiB("'" + self + "' --open '" + f.package + "' '" + work + "/icons'");
    const long readKiB = ChildPeakKiB("'" + self + "' --open '" + f.package + "' '" + work + "/icons' touch");
    const double o = Median(open) * 1000, t = Median(tool) * 1000;
    std::printf("%-25s %10.1f %10.1f %7.2f %11.1f %11.1f %11.1f\n", f.label, o, t, o / t,
                (peakKiB - baseKiB) / 1024.0, (readKiB - baseKiB) / 1024.0,
                (2.0 * kDataSize + (64u << 20)) / (1 << 20));
  }
  std::printf("peak = maximum resident memory of a process that opens the package, less the "
              "same process without the open; +read = the same after reading every data byte once\n");

  // The digest of the data as info and the history take it.
  WriteFile(work + "/data.bin", data);
  std::vector<double> ssl, qt, tool;
  std::string a, b;
  for (int i = 0; i < kRuns; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    a = quillon::Sha256Hex(reinterpret_cast<const unsigned char*>(data.data()), data.size());
    ssl.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    t0 = std::chrono::steady_clock::now();
    b = QCryptographicHash::hash(QByteArrayView(data.data(), static_cast<qsizetype>(data.size())),
                                 QCryptographicHash::Sha256).toHex().toStdString();
    qt.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    tool.push_back(Run("sha256sum '" + work + "/data.bin' >/dev/null"));
  }
  if (a != b) {
    std::fprintf(stderr, "digests differ\n");
    return 1;
  }
  const double t = Median(tool) * 1000;
  std::printf("SHA-256 of %zu MiB: sha256sum %.1f ms; libcrypto %.1f ms (%.2f); Qt %.1f ms (%.2f)\n",
              kDataSize >> 20, t, Median(ssl) * 1000, Median(ssl) * 1000 / t, Median(qt) * 1000,
              Median(qt) * 1000 / t);

  // Packages above what a job can carry: the LZ package announcing 3 x 64
  // MiB (its header's length field), and a plain one of that size. Each is
  // refused before anything is expanded or copied; the tools take it whole.
  {
    std::string lz = ReadAll(rx_);
    const std::uint32_t announced = 3 * static_cast<std::uint32_t>(kDataSize);
    for (int i = 0; i < 4; ++i) lz[10 + i] = static_cast<char>((announced >> (8 * i)) & 0xFF);
    WriteFile(work + "/big.RX_", lz);
    std::ofstream big(work + "/big.RXF", std::ios::binary | std::ios::trunc);
    big << header << '\x1A';
    for (int i = 0; i < 3; ++i) big.write(data.data(), static_cast<std::streamsize>(data.size()));
  }
  for (const char* name : {"big.RX_", "big.RXF"}) {
    const std::string path = work + "/" + name;
    const auto t0 = std::chrono::steady_clock::now();
    std::uint16_t status;
    {
      TDownDocFile doc(path, work + "/icons");
      status = doc.Status;
    }
    const double refuse = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() * 1000;
    const double tool = Run(std::string(name[6] == '_' ? "msexpand < '" : "cat < '") + path +
                            "' > '" + work + "/out/big' || true") * 1000;
    std::printf("%s over the limit: refused (status %u) in %.1f ms; %s %.1f ms (%.3f)\n", name, status,
                refuse, name[6] == '_' ? "msexpand" : "cat", tool, refuse / tool);
  }
  fs::remove_all(work);
  return 0;
}
