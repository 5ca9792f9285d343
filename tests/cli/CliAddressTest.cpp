// FTP printers named by a host name, by an IPv6 address and with a port of
// their own, through quillon-cli against the printer simulator. The name
// and IPv6 cases need the usual printer ports of 127.0.0.1 and ::1; no
// other test uses them, but a machine may: those cases then skip.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <string>
#include <vector>

#include "tests/cli/CliProcess.h"
#include "tests/support/CupsTestSupport.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/PrinterSimulator.h"
#include "tests/support/TestEnv.h"

using namespace quillon_test;
using namespace package_test;

namespace {

const char kModel[] = "HALVORN CORVIA KV3";  // a target of the package, command flag 1

std::string Field(const std::string& line, const char* key) {
  const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
  const QJsonValue v = o.value(QLatin1String(key));
  if (v.isNull() || v.isUndefined()) return "null";
  if (v.isDouble()) return std::to_string(v.toInt());
  return v.toString().toStdString();
}

// The machine can listen on ::1 at all.
bool HaveIpv6Loopback() {
  const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in6 sa{};
  sa.sin6_family = AF_INET6;
  sa.sin6_addr = in6addr_loopback;
  const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  ::close(fd);
  return ok;
}

class CliAddresses : public ::testing::Test {
 protected:
  void SetUp() override {
    data_ = Pattern(40000, 23);
    package_ = Put(MakeTestDir("pkg"), "FW.RXF",
                   Header({"FileFormat=RXF", "DownLoadDesc=Test firmware", "DownLoadVersion=3.01",
                           "EnableCommand=1", "Reboot=1", "DownLoadPrinter=KV3"}) +
                       '\x1A' + data_);
  }

  // One download to printer; the printer's one received job must hold the
  // package's data, and the program's line must say it succeeded.
  void ExpectDelivered(const PrinterSimulator& sim, const std::string& printer,
                       const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"download", package_, "--printer", printer, "--yes", "--init-items", "1", "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    const CliResult r = RunCli(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 1u) << r.out;
    EXPECT_EQ(Field(lines[0], "printer"), printer);
    EXPECT_EQ(Field(lines[0], "outcome"), "succeeded") << r.err;
    const auto reports = sim.Reports(1);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(ReceivedJob(reports[0]).find(data_), std::string::npos);
  }

  std::string data_;
  std::string package_;
};

}  // namespace

TEST_F(CliAddresses, AHostNameIsResolvedForTheConsoleAndTheUpload) {
  PrinterSimulator sim("127.0.0.1", {"--model-name", kModel, "--raw-port", "0"}, 10);
  if (!sim.Ready()) GTEST_SKIP() << "the printer ports of 127.0.0.1 are taken on this machine";
  // No --model: the model comes from the console, asked by the name too.
  ExpectDelivered(sim, "ftp://localhost/vesta0");
  const auto sessions = sim.ConsoleSessions(1);
  ASSERT_FALSE(sessions.empty());
  EXPECT_EQ(JsonField(sessions[0], "peer"), "\"127.0.0.1\"");
}

TEST_F(CliAddresses, AnIpv6AddressDownloadsWithItsOwnDataConnection) {
  if (!HaveIpv6Loopback()) GTEST_SKIP() << "::1 is not available on this machine";
  PrinterSimulator sim("::1", {"--model-name", kModel, "--raw-port", "0", "--verbose"}, 10);
  if (!sim.Ready()) GTEST_SKIP() << "the printer ports of ::1 are taken on this machine";
  ExpectDelivered(sim, "ftp://[::1]/vesta0");
  EXPECT_EQ(JsonField(sim.Reports(1)[0], "address"), "\"::1\"");
  // An IPv6 control connection names its data port the IPv6 way.
  EXPECT_NE(sim.Log().find("<- EPRT |2|::1|"), std::string::npos) << sim.Log();
  EXPECT_EQ(sim.Log().find("<- PORT"), std::string::npos);
}

TEST_F(CliAddresses, AnAddressWithAPortOfItsOwnDownloads) {
  const std::string port = std::to_string(UnusedPort());
  // Only the FTP server, on that port: the console query finds no console
  // and the given model stands.
  PrinterSimulator sim("127.0.0.1",
                       {"--model-name", kModel, "--ftp-port", port, "--console-port", "0",
                        "--raw-port", "0"},
                       5);
  ASSERT_TRUE(sim.Ready());
  ExpectDelivered(sim, "ftp://127.0.0.1:" + port + "/vesta0", {"--model", kModel});
}
