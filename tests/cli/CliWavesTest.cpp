// Rollouts through quillon-cli as a child process: canary waves and the
// failure limit, verifications that end each on its own, and what the
// run says on a terminal, with -q, and at its end.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/cli/CliJsonLines.h"
#include "tests/cli/CliProcess.h"
#include "tests/support/CupsTestSupport.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/PrinterSimulator.h"
#include "tests/support/TestEnv.h"

using namespace quillon_test;
using namespace package_test;

namespace {

const char kModel[] = "HALVORN CORVIA KV3";  // a target of the package

std::string Entry(const std::string& extra = {}) {
  return std::string("{\"model\": \"") + kModel + "\", \"version\": \"2.00\"" +
         (extra.empty() ? "" : ", " + extra) + "}";
}

// A run of the program whose standard output is read as it comes (each
// line with the seconds since the start) and whose standard error is a
// terminal when term is given (TERM set to it), else a pipe.
struct TimedRun {
  int exitCode = -1;
  std::string out;
  std::string err;
  std::vector<std::pair<double, std::string>> lines;
};

TimedRun RunTimed(const std::vector<std::string>& args, const char* term,
                  const std::vector<std::pair<std::string, std::string>>& env = {},
                  int timeoutSeconds = 120) {
  TimedRun run;
  int outPipe[2];
  if (::pipe(outPipe) != 0) return run;
  int errMaster = -1, errSlave = -1;
  if (term) {
    struct winsize ws {};
    ws.ws_col = 120;
    ws.ws_row = 40;
    if (::openpty(&errMaster, &errSlave, nullptr, nullptr, &ws) != 0) return run;
  } else {
    int errPipe[2];
    if (::pipe(errPipe) != 0) return run;
    errMaster = errPipe[0];
    errSlave = errPipe[1];
  }
  std::vector<std::string> argv = {QUILLON_CLI};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  const auto begin = std::chrono::steady_clock::now();
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    if (term) {
      ::setsid();
      ::ioctl(errSlave, TIOCSCTTY, 0);
      ::setenv("TERM", term, 1);
    }
    for (const auto& [k, v] : env) ::setenv(k.c_str(), v.c_str(), 1);
    const int in = ::open("/dev/null", O_RDONLY);
    ::dup2(in, 0);
    ::dup2(outPipe[1], 1);
    ::dup2(errSlave, 2);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("QT_QPA_PLATFORM");
    ::execv(cargv[0], cargv.data());
    ::_exit(127);
  }
  ::close(outPipe[1]);
  ::close(errSlave);
  std::string partial;
  bool outOpen = true, errOpen = true;
  const auto deadline = begin + std::chrono::seconds(timeoutSeconds);
  while ((outOpen || errOpen) && std::chrono::steady_clock::now() < deadline) {
    pollfd fds[2] = {{outPipe[0], static_cast<short>(outOpen ? POLLIN : 0), 0},
                     {errMaster, static_cast<short>(errOpen ? POLLIN : 0), 0}};
    if (::poll(fds, 2, 200) <= 0) continue;
    char buf[4096];
    if (outOpen && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
      const ssize_t n = ::read(outPipe[0], buf, sizeof buf);
      if (n <= 0) {
        outOpen = false;
      } else {
        const double t =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        run.out.append(buf, static_cast<std::size_t>(n));
        partial.append(buf, static_cast<std::size_t>(n));
        for (std::size_t nl; (nl = partial.find('\n')) != std::string::npos;) {
          run.lines.push_back({t, partial.substr(0, nl)});
          partial.erase(0, nl + 1);
        }
      }
    }
    if (errOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
      const ssize_t n = ::read(errMaster, buf, sizeof buf);  // a pty ends with EIO
      if (n <= 0)
        errOpen = false;
      else
        run.err.append(buf, static_cast<std::size_t>(n));
    }
  }
  ::close(outPipe[0]);
  ::close(errMaster);
  int status = 0;
  if (std::chrono::steady_clock::now() >= deadline) ::kill(pid, SIGKILL);
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  return run;
}

double LineTime(const TimedRun& run, const std::string& printer) {
  for (const auto& [t, line] : run.lines) {
    if (line.find("\"printer\":\"" + printer + "\"") != std::string::npos) return t;
  }
  ADD_FAILURE() << "no line of " << printer << " in " << run.out;
  return 1e9;
}

class CliWaves : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(CupsdDir().empty()) << "the private cupsd fixture did not run";
    package_ = Put(MakeTestDir("pkg"), "FW.RXF",
                   Header({"FileFormat=RXF", "DownLoadDesc=Test firmware", "DownLoadVersion=3.01",
                           "EnableCommand=1", "Reboot=1", "DownLoadPrinter=KV3"}) +
                       '\x1A' + Pattern(50000, 7));
  }
  std::vector<std::string> Download(const std::vector<std::string>& printers,
                                    const std::vector<std::string>& more) const {
    std::vector<std::string> args = {"download", package_};
    for (const std::string& p : printers) {
      args.push_back("--printer");
      args.push_back(p);
    }
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  std::string package_;
};

}  // namespace

TEST_F(CliWaves, AFailingCanaryStartsNothingElse) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  // The second printer of the canary wave refuses the upload.
  PrinterSimulator sim(5, {}, {{0, Entry()}, {1, Entry(R"("ftp_faults": ["store-553"])")},
                               {2, Entry()}, {3, Entry()}, {4, Entry()}});
  ASSERT_TRUE(sim.Ready());
  const auto& a = sim.Addresses();
  std::vector<std::string> printers;
  for (const std::string& address : a) printers.push_back(Ftp(address));
  const CliResult r =
      RunCli(Download(printers, {"--model", kModel, "--yes", "--init-items", "1", "--json", "--jobs", "4", "--canary", "2"}));
  EXPECT_EQ(r.exitCode, 9) << r.err;
  EXPECT_EQ(Str(LineOf(r.out, Ftp(a[0])), "outcome"), "succeeded");
  EXPECT_EQ(Str(LineOf(r.out, Ftp(a[1])), "outcome"), "failed");
  for (std::size_t i = 2; i < a.size(); ++i) {
    const QJsonObject line = LineOf(r.out, Ftp(a[i]));
    EXPECT_EQ(Str(line, "outcome"), "not_started") << a[i];
    EXPECT_EQ(Str(line, "reason"), "canary_failed") << a[i];
    EXPECT_EQ(Str(line, "exit"), "12") << a[i];
    EXPECT_EQ(JobsAt(sim, a[i]).size(), 0u) << a[i];
  }
  EXPECT_EQ(Lines(r.out).size(), a.size());
  EXPECT_NE(r.err.find("summary: 5 printers: 1 succeeded, 1 failed, 3 not_started"),
            std::string::npos)
      << r.err;
}

TEST_F(CliWaves, AnUnverifiedCanaryStartsNothingElseAndAGoodOneLetsTheRestGo) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  PrinterSimulator sim(3, {}, {{0, Entry(R"("version_after": "2.00", "restart_seconds": 1)")},
                               {1, Entry(R"("version_after": "3.01", "restart_seconds": 1)")},
                               {2, Entry(R"("version_after": "3.01", "restart_seconds": 1)")}});
  ASSERT_TRUE(sim.Ready());
  const auto& a = sim.Addresses();
  CliResult r = RunCli(Download({Ftp(a[0]), Ftp(a[1]), Ftp(a[2])},
                                {"--yes", "--init-items", "1", "--json", "--jobs", "3", "--canary", "1", "--verify",
                                 "--verify-timeout", "4"}));
  EXPECT_EQ(r.exitCode, 11) << r.err;
  EXPECT_EQ(Str(LineOf(r.out, Ftp(a[0])), "verification"), "unverified");
  for (std::size_t i = 1; i < 3; ++i) {
    EXPECT_EQ(Str(LineOf(r.out, Ftp(a[i])), "reason"), "canary_failed");
    EXPECT_EQ(JobsAt(sim, a[i]).size(), 0u);
  }
  // The verified canary lets the others go.
  r = RunCli(Download({Ftp(a[1]), Ftp(a[2])}, {"--yes", "--init-items", "1", "--json", "--canary", "1", "--verify",
                                               "--verify-timeout", "8"}));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(JobsAt(sim, a[2]).size(), 1u);
}

TEST_F(CliWaves, MaxFailuresStopsAfterTheThirdOverTheWholeRun) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  std::map<int, std::string> config;
  for (int i = 0; i < 7; ++i)
    config[i] = (i == 0 || i == 2 || i == 3) ? Entry(R"("ftp_faults": ["store-553"])") : Entry();
  PrinterSimulator sim(7, {}, config);
  ASSERT_TRUE(sim.Ready());
  const auto& a = sim.Addresses();
  std::vector<std::string> printers;
  for (const std::string& address : a) printers.push_back(Ftp(address));
  // One at a time, so that the order is the printers'.
  for (const std::string limit : {"3", "40%"}) {  // 40% of 7 printers: 3
    const CliResult r = RunCli(
        Download(printers, {"--model", kModel, "--yes", "--init-items", "1", "--json", "--max-failures", limit}));
    EXPECT_EQ(r.exitCode, 9) << limit << r.err;
    EXPECT_EQ(Str(LineOf(r.out, Ftp(a[1])), "outcome"), "succeeded") << limit;
    EXPECT_EQ(Str(LineOf(r.out, Ftp(a[3])), "outcome"), "failed") << limit;
    for (std::size_t i = 4; i < a.size(); ++i) {
      const QJsonObject line = LineOf(r.out, Ftp(a[i]));
      EXPECT_EQ(Str(line, "outcome"), "not_started") << limit << " " << a[i];
      EXPECT_EQ(Str(line, "reason"), "max_failures") << limit << " " << a[i];
    }
  }
  for (std::size_t i = 4; i < a.size(); ++i) EXPECT_EQ(JobsAt(sim, a[i]).size(), 0u);
  EXPECT_EQ(JobsAt(sim, a[1]).size(), 2u);

  const CliResult help = RunCli({"download", "--help"});
  EXPECT_NE(help.out.find("over the whole run"), std::string::npos) << help.out;
  EXPECT_EQ(RunCli(Download(printers, {"--max-failures", "0"})).exitCode, 2);
  EXPECT_EQ(RunCli(Download(printers, {"--max-failures", "101%"})).exitCode, 2);
}

TEST_F(CliWaves, ASlowVerificationHoldsBackNoOtherLineAndAnotherModelIsUnverified) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  PrinterSimulator sim(4, {}, {
      {0, Entry(R"("version_after": "2.00", "restart_seconds": 1)")},  // never the new one
      {1, Entry(R"("version_after": "3.01", "restart_seconds": 1)")},
      {2, Entry(R"("version_after": "3.01", "restart_seconds": 1)")},
      // DHCP gave the address to another printer during the restart.
      {3, Entry(R"("version_after": "3.01", "model_after": "RX-140", "restart_seconds": 1)")}});
  ASSERT_TRUE(sim.Ready());
  const auto& a = sim.Addresses();
  const TimedRun run = RunTimed(Download({Ftp(a[0]), Ftp(a[1]), Ftp(a[2]), Ftp(a[3])},
                                         {"--yes", "--init-items", "1", "--json", "--jobs", "4", "--verify",
                                          "--verify-timeout", "25"}),
                                nullptr);
  EXPECT_EQ(run.exitCode, 9) << run.err;
  const double slow = LineTime(run, Ftp(a[0]));
  EXPECT_GE(slow, 24.0);
  for (std::size_t i = 1; i < 4; ++i) EXPECT_LT(LineTime(run, Ftp(a[i])), 15.0) << a[i];
  EXPECT_EQ(Str(LineOf(run.out, Ftp(a[0])), "verification"), "unverified");
  EXPECT_EQ(Str(LineOf(run.out, Ftp(a[1])), "verification"), "verified");
  const QJsonObject moved = LineOf(run.out, Ftp(a[3]));
  EXPECT_EQ(Str(moved, "verification"), "unverified");
  EXPECT_EQ(Str(moved, "exit"), "11");
  EXPECT_NE(Str(moved, "verification_detail").find("another model"), std::string::npos)
      << Str(moved, "verification_detail");
}

TEST_F(CliWaves, OnATerminalAStatusLineShowsTheWaitAndDumbTerminalsGetNoEscapes) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  PrinterSimulator sim(2, {}, {{0, Entry(R"("version_after": "2.00", "restart_seconds": 1)")},
                               {1, Entry(R"("version_after": "3.01", "restart_seconds": 1)")}});
  ASSERT_TRUE(sim.Ready());
  const auto& a = sim.Addresses();
  const auto args = Download({Ftp(a[0]), Ftp(a[1])},
                             {"--yes", "--init-items", "1", "--json", "--jobs", "2", "--verify", "--verify-timeout", "4"});
  const TimedRun xterm = RunTimed(args, "xterm");
  EXPECT_EQ(xterm.exitCode, 9) << xterm.err;
  EXPECT_NE(xterm.err.find("1/2 done, waiting for 1: ." + a[0].substr(a[0].rfind('.') + 1)),
            std::string::npos)
      << xterm.err;
  EXPECT_NE(xterm.err.find("\033["), std::string::npos);

  const TimedRun dumb = RunTimed(args, "dumb");
  EXPECT_EQ(dumb.exitCode, 9) << dumb.err;
  EXPECT_NE(dumb.err.find("waiting for 1:"), std::string::npos) << dumb.err;
  EXPECT_EQ(dumb.err.find('\033'), std::string::npos) << dumb.err;
  EXPECT_NE(dumb.err.find("summary: 2 printers"), std::string::npos) << dumb.err;
}

TEST_F(CliWaves, NoticesAreNeverWrittenOverTheProgressLine) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  // The first transfer is slow; the second printer's checks end while its
  // bar is drawn, and their notice must start a line of its own.
  PrinterSimulator sim(2, {"--slow", "STOR=3"}, {{0, Entry()}, {1, Entry(R"("holds": ["STAT"])")}});
  ASSERT_TRUE(sim.Ready());
  const auto& a = sim.Addresses();
  std::thread release([&] {
    if (sim.WaitHeld("STAT", 1, a[1])) std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    sim.Release();
  });
  const TimedRun run =
      RunTimed(Download({Ftp(a[0]), Ftp(a[1])}, {"--yes", "--init-items", "1", "--json", "--jobs", "2", "--skip-current"}),
               "xterm");
  release.join();
  EXPECT_EQ(run.exitCode, 0) << run.err;
  std::size_t notices = 0;
  std::size_t from = 0;
  for (std::size_t nl; (nl = run.err.find('\n', from)) != std::string::npos; from = nl + 1) {
    std::string line = run.err.substr(from, nl - from);
    // Every message of a printer of the batch starts with its tag.
    if (line.find("[ftp://") == std::string::npos) continue;
    if (line.find("settings memory: ") != std::string::npos) ++notices;
    if (!line.empty() && line.back() == '\r') line.pop_back();  // the terminal's \r\n
    const std::size_t cr = line.rfind('\r');
    if (cr != std::string::npos) line.erase(0, cr + 1);
    if (line.rfind("\033[K", 0) == 0) line.erase(0, 3);
    EXPECT_EQ(line.rfind("[ftp://", 0), 0u) << line;
  }
  EXPECT_EQ(notices, 2u) << run.err;
}

TEST_F(CliWaves, QuietPrintsOnlyFailuresAndTheSummaryAndEveryRefusalHasAReason) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  PrinterSimulator sim(2, {}, {{0, Entry()},
                               {1, std::string("{\"model\": \"") + kModel + "\", \"version\": \"3.10\"}"}});
  ASSERT_TRUE(sim.Ready());
  const auto& a = sim.Addresses();
  const auto printers = std::vector<std::string>{Ftp(a[0]), Ftp(a[1])};
  CliResult r = RunCli(Download(printers, {"--yes", "--init-items", "1", "-q"}));
  EXPECT_EQ(r.exitCode, 9) << r.err;
  const auto out = Lines(r.out);
  ASSERT_EQ(out.size(), 1u) << r.out;  // no line for the success, no table
  EXPECT_EQ(out[0].rfind(Ftp(a[1]) + ": refused", 0), 0u) << r.out;
  EXPECT_EQ(r.err.find("settings memory"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("--yes)"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("older than"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("summary: 2 printers: 1 succeeded, 1 refused"), std::string::npos) << r.err;

  // The downgrade refusal names its reason; the summary comes with --json too.
  r = RunCli(Download(printers, {"--yes", "--init-items", "1", "--json"}));
  EXPECT_EQ(Str(LineOf(r.out, Ftp(a[1])), "reason"), "downgrade");
  EXPECT_NE(r.err.find("summary: 2 printers: 1 succeeded, 1 refused"), std::string::npos) << r.err;
  // The seconds are the transfer's own.
  EXPECT_LT(LineOf(r.out, Ftp(a[0])).value("seconds").toDouble(), 10.0);
}

TEST_F(CliWaves, ABareAddressIsTheFtpPrinterAndTheHistoryFindsItByHost) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  PrinterSimulator sim(1, {}, {{0, Entry()}});
  ASSERT_TRUE(sim.Ready());
  const std::string host = sim.Addresses()[0];
  const CliResult r = RunCli({"download", package_, "--printer", host, "--yes", "--init-items", "1", "--json", "-v"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Str(LineOf(r.out, Ftp(host)), "outcome"), "succeeded");
  EXPECT_NE(r.err.find("taken as the FTP printer " + Ftp(host)), std::string::npos) << r.err;
  EXPECT_EQ(JobsAt(sim, host).size(), 1u);

  const CliResult h = RunCli({"history", "--json", "--printer", host});
  EXPECT_EQ(h.exitCode, 0) << h.err;
  EXPECT_EQ(Lines(h.out).size(), 1u) << h.out;

  // job names the same printer a download to that name reaches.
  const std::string file = MakeTestDir("barejob") + "/job.bin";
  const CliResult j = RunCli({"job", package_, "--printer", host, "--model", kModel, "-o", file});
  EXPECT_EQ(j.exitCode, 0) << j.err;
  EXPECT_NE(j.out.find("for " + Ftp(host) + " (ftp)"), std::string::npos) << j.out;
}

TEST_F(CliWaves, PrintersWithoutAPrintServerFailWithTheCause) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  const std::string dir = MakeTestDir("nocups");
  const TimedRun r = RunTimed({"printers"}, nullptr, {{"CUPS_SERVER", dir + "/no.sock"}});
  EXPECT_EQ(r.exitCode, 5) << r.err;
  EXPECT_NE(r.err.find("print server"), std::string::npos) << r.err;
}

TEST_F(CliWaves, TheCanaryWaveIsTheFirstPrintersOfTheListWhicheverAnswersFirst) {
  const ScopedLanguage english("C.UTF-8");  // checks the English texts
  // The first printer is slow to answer and then refuses the upload; the
  // others answer at once. The canary is still the first printer.
  PrinterSimulator sim(4, {}, {{0, Entry(R"("ftp_faults": ["store-553"], "holds": ["CONSOLE"])")},
                               {1, Entry()}, {2, Entry()}, {3, Entry()}});
  ASSERT_TRUE(sim.Ready());
  const auto& a = sim.Addresses();
  std::vector<std::string> printers;
  for (const std::string& address : a) printers.push_back(Ftp(address));
  CliProcess cli(Download(printers, {"--yes", "--init-items", "1", "--json", "--jobs", "4", "--canary", "1"}));
  ASSERT_TRUE(sim.WaitHeld("CONSOLE", 1, a[0])) << cli.ErrSoFar();
  // Long enough for the other consoles' answers to be in.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  for (std::size_t i = 1; i < a.size(); ++i) EXPECT_EQ(JobsAt(sim, a[i]).size(), 0u) << "sent before the canary: " << a[i];
  sim.Release();
  const CliResult r = cli.Wait(60000);
  EXPECT_EQ(r.exitCode, 6) << r.err;  // nothing succeeded: the first failure's code
  EXPECT_EQ(Str(LineOf(r.out, Ftp(a[0])), "outcome"), "failed") << r.out;
  for (std::size_t i = 1; i < a.size(); ++i) {
    const QJsonObject line = LineOf(r.out, Ftp(a[i]));
    EXPECT_EQ(Str(line, "outcome"), "not_started") << a[i];
    EXPECT_EQ(Str(line, "reason"), "canary_failed") << a[i];
    EXPECT_EQ(JobsAt(sim, a[i]).size(), 0u) << a[i];
  }
}
