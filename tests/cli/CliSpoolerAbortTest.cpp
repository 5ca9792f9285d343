// Ctrl+C while the print server keeps its answer: the program ends within
// moments as aborted, with the bytes it handed over, never at the
// request's own bound. The print server is a scripted one that hangs.

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/cli/CliProcess.h"
#include "tests/support/DownloadSupport.h"
#include "tests/support/FakeIppServer.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/TestEnv.h"
#include "tests/support/WaitUntil.h"

using namespace quillon_test;
using namespace package_test;

namespace {

std::string Field(const std::string& line, const char* key) {
  const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
  const QJsonValue v = o.value(QLatin1String(key));
  if (v.isNull() || v.isUndefined()) return "null";
  if (v.isDouble()) return std::to_string(static_cast<long long>(v.toDouble()));
  return v.toString().toStdString();
}

// The program's print server for the life of the object.
class ServerForChildren {
 public:
  explicit ServerForChildren(const std::string& path) {
    const char* was = std::getenv("CUPS_SERVER");
    had_ = was != nullptr;
    if (was) saved_ = was;
    ::setenv("CUPS_SERVER", path.c_str(), 1);
  }
  ~ServerForChildren() {
    if (had_) ::setenv("CUPS_SERVER", saved_.c_str(), 1);
    else ::unsetenv("CUPS_SERVER");
  }

 private:
  bool had_ = false;
  std::string saved_;
};

TEST(CliSpoolerAbort, CtrlCWhileThePrintServerKeepsItsAnswerEndsAtOnceAsAborted) {
  constexpr int kSendDocument = 0x0006, kGetNotifications = 0x001C;
  const std::string data = Pattern(120000, 43);
  const std::string package =
      Put(MakeTestDir("pkg"), "FW.RXF",
          Header({"FileFormat=RXF", "DownLoadDesc=Test firmware", "DownLoadVersion=3.01",
                  "EnableCommand=0", "Reboot=0", "DownLoadPrinter=KV3"}) +
              '\x1A' + data);
  struct Case {
    const char* point;
    int op;  // the request the server never answers, after every byte went
  };
  for (const Case c : {Case{"document answer", kSendDocument}, Case{"job events", kGetNotifications}}) {
    SCOPED_TRACE(c.point);
    FakeIppServer server;
    ASSERT_TRUE(server.Ready());
    server.OfferSubscriptions({});
    server.HoldAnswersTo(c.op);
    const ServerForChildren env(server.Path());
    CliProcess cli({"download", package, "--printer", "fake", "--model", "HALVORN CORVIA KV3",
                    "--no-hold", "--yes", "--init-items", "1", "--json"});
    ASSERT_TRUE(WaitUntil(
        [&] {
          const std::vector<int> ops = server.Operations();
          return std::find(ops.begin(), ops.end(), c.op) != ops.end();
        },
        30000, 20))
        << cli.ErrSoFar();
    const auto interrupted = std::chrono::steady_clock::now();
    cli.Signal(SIGINT);
    const CliResult r = cli.Wait(30000);
    const auto took = std::chrono::steady_clock::now() - interrupted;
    EXPECT_LT(took, std::chrono::milliseconds(2000));
    EXPECT_EQ(r.exitCode, 8) << r.err;
    ASSERT_EQ(Lines(r.out).size(), 1u) << r.out;
    const std::string line = Lines(r.out)[0];
    EXPECT_EQ(Field(line, "result"), "4096") << line;
    EXPECT_EQ(Field(line, "outcome"), "aborted") << line;
    EXPECT_EQ(Field(line, "text"), "aborted after " + Field(line, "bytes") + " bytes") << line;
    // Without the download command the job is the data alone.
    EXPECT_EQ(Field(line, "bytes"), std::to_string(data.size())) << line;
    EXPECT_EQ(JobFilesLeft(), 0);
  }
}

}  // namespace
