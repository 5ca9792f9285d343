// A raw job through the output thread's spooler route against `lp -o raw`
// of the same bytes to the same queue: the time from the start until the
// printer (a TCP listener here) has every byte. Needs CUPS_SERVER to name a
// server that lets it add a queue (bench/spool_vs_lp.sh starts a private one).
//   bench_spool JOBFILE
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>

#include "core/app/QuillonApp.h"
#include "core/package/DownDocFile.h"
#include "core/transfer/PrintSink.h"
#include "core/transfer/PrintThread.h"
#include "platform/Spooler.h"

namespace {

using Clock = std::chrono::steady_clock;

// The printer: counts what each connection brings.
class Listener {
 public:
  Listener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 4) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      std::perror("listener");
      std::exit(1);
    }
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
    thread_.detach();
  }
  int Port() const { return port_; }
  void Expect(std::size_t bytes) {
    std::lock_guard<std::mutex> lock(mu_);
    expected_ = bytes;
    done_ = false;
  }
  // Waits for a connection that brought the expected count; its end time.
  bool Wait(Clock::time_point& at, int seconds) {
    std::unique_lock<std::mutex> lock(mu_);
    if (!cv_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) return false;
    at = doneAt_;
    return true;
  }

 private:
  void Run() {
    static char buf[1 << 16];
    for (;;) {
      const int c = ::accept(fd_, nullptr, nullptr);
      if (c < 0) continue;
      std::size_t got = 0;
      bool reported = false;
      for (;;) {
        const ssize_t n = ::read(c, buf, sizeof buf);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
        std::lock_guard<std::mutex> lock(mu_);
        if (!reported && got >= expected_) {
          reported = true;
          done_ = true;
          doneAt_ = Clock::now();
          cv_.notify_all();
        }
      }
      ::close(c);
    }
  }
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::size_t expected_ = 0;
  bool done_ = false;
  Clock::time_point doneAt_;
};

// Notes when the thread starts sending (job file built, queue open).
class QuietSink : public quillon::PrintSink {
 public:
  void SetAction(int id) override {
    if (id == 4130) sendingAt = Clock::now();
  }
  Clock::time_point sendingAt;
  void SetProgressRange(int, int, int) override {}
  void SetProgressPosition(int) override {}
  void SetProgressToMaximum() override {}
  void SetTotalBytes(std::uint32_t) override {}
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || !std::getenv("CUPS_SERVER")) {
    std::fprintf(stderr, "usage: CUPS_SERVER=... bench_spool JOBFILE\n");
    return 2;
  }
  const std::string jobFile = argv[1];
  std::ifstream in(jobFile, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.empty()) return 2;

  Listener printer;
  const std::string queue = "bench_raw";
  const std::string add = "lpadmin -p " + queue + " -E -v socket://127.0.0.1:" +
                          std::to_string(printer.Port()) +
                          "/?snmp=false -o printer-error-policy=abort-job >/dev/null 2>&1";
  if (std::system(add.c_str()) != 0) {
    std::fprintf(stderr, "cannot add the queue\n");
    return 1;
  }

  // lp of the job file.
  printer.Expect(bytes.size());
  Clock::time_point end;
  auto start = Clock::now();
  const std::string lp = "lp -d " + queue + " -o raw '" + jobFile + "' >/dev/null";
  if (std::system(lp.c_str()) != 0 || !printer.Wait(end, 300)) {
    std::fprintf(stderr, "lp run failed\n");
    return 1;
  }
  const double lpSeconds = Seconds(end - start);

  // The server finishes the previous job before the next run starts.
  std::this_thread::sleep_for(std::chrono::seconds(1));

  // The output thread: builds its own job file of the same bytes (no
  // download command) and sends it in 512-byte blocks.
  // The settings file goes to the temporary folder the script gives.
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_spool_XXXXXX";
  if (!::mkdtemp(dir.data())) return 1;
  double threadSeconds = 0, buildSeconds = 0;
  {
    TQUILLONApp app(dir + "/QUILLON.INI");
    auto* doc = new TDownDocFile();
    app.Package.reset(doc);
    doc->DataBuffer = static_cast<unsigned char*>(std::malloc(bytes.size()));
    std::memcpy(doc->DataBuffer, bytes.data(), bytes.size());
    doc->DataSize = static_cast<std::uint32_t>(bytes.size());
    app.EnableCommand = 0;
    app.SelectedPrinter = queue;
    QuietSink sink;
    TPrintThread thread(app.MakeTransferRequest(TQUILLONApp::kDefaultInitItems), sink);
    printer.Expect(bytes.size());
    start = Clock::now();
    thread.start();
    const bool got = printer.Wait(end, 300);
    thread.requestInterruption();  // the watch is not part of the figure
    thread.wait();
    if (!got) {
      std::fprintf(stderr, "spooler route failed (result %u: %s)\n", thread.Result().code,
                   thread.Result().detail.c_str());
      return 1;
    }
    threadSeconds = Seconds(end - start);
    buildSeconds = Seconds(sink.sendingAt - start);
  }  // the settings are written back here, before the folder goes

  std::this_thread::sleep_for(std::chrono::seconds(1));
  // The spooler layer alone, called once per 512-byte block from memory
  // (the output thread hands it runs of 64 blocks).
  platform::PrinterHandle handle;
  printer.Expect(bytes.size());
  start = Clock::now();
  bool sent = handle.Open(queue) && handle.StartRawDoc("bench") > 0;
  for (std::size_t at = 0; sent && at < bytes.size(); at += 512)
    sent = handle.WriteBlock(bytes.data() + at, std::min<std::size_t>(512, bytes.size() - at));
  sent = sent && handle.EndDoc() && printer.Wait(end, 300);
  const double layerSeconds = sent ? Seconds(end - start) : -1;
  handle.Close();

  std::system(("lpadmin -x " + queue + " >/dev/null 2>&1").c_str());
  std::system(("rm -rf '" + dir + "'").c_str());
  std::printf("bytes %zu\n"
              "lp -o raw: %.3f s\n"
              "spooler route (output thread): %.3f s, of it building the job file %.3f s\n"
              "spooler layer, one call per 512 bytes: %.3f s\n"
              "ratio (output thread / lp): %.2f\n",
              bytes.size(), lpSeconds, threadSeconds, buildSeconds, layerSeconds,
              threadSeconds / lpSeconds);
  return 0;
}
