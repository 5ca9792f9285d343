// A package opened from each of its forms reaches the printer byte-exact
// through the progress window and the output thread: over a spooler queue
// whose device is the printer simulator's raw port, and over its FTP server.
#include <gtest/gtest.h>

#include <QTimer>

#include <string>
#include <vector>

#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"
#include "core/package/DownDocFile.h"
#include "gui/PrntView.h"
#include "tests/support/TestEnv.h"
#include "tests/support/DownloadSupport.h"
#include "tests/support/PackageFixtures.h"
#include "tests/support/PrinterSimulator.h"
#include "tests/support/CupsTestSupport.h"

using quillon::SetField;

using namespace quillon_test;
using namespace package_test;

namespace {

struct Form {
  const char* name;
  // Builds the package in dir and returns its path and the data it holds.
  std::string (*make)(const std::string& dir, std::string& data);
};

std::string PlainPackage(const std::string& dir, std::string& data) {
  data = Pattern(150000, 21);
  return Put(dir, "FW.RXF",
             Header({"FileFormat=RXF", "EnableCommand=1", "Reboot=1", "DownLoadPrinter=KV3"}) +
                 '\x1A' + data);
}

std::string CompressedPackage(const std::string& dir, std::string& data) {
  data = Pattern(150000, 22) + std::string(50000, 'Z');
  const std::string plain =
      Put(dir, "FW.RXF",
          Header({"FileFormat=RXF", "EnableCommand=1", "Reboot=1", "DownLoadPrinter=KV3"}) +
              '\x1A' + data);
  return Mscompress(plain, dir + "/FW.RX_");
}

std::string CabinetPackage(const std::string& dir, std::string& data) {
  const std::string fw1 = Pattern(90000, 23), fw2 = Pattern(60000, 24);
  data = fw1 + fw2;
  Put(dir, "HEADER.RXF",
      Header({"FileFormat=RXF", "EnableCommand=1", "Reboot=1", "DownLoadFile=FW1.BIN,FW2.BIN",
              "DownLoadPrinter=KV3"}));
  Put(dir, "FW1.BIN", fw1);
  Put(dir, "FW2.BIN", fw2);
  return Gcab(dir, "FW.RXV", {"HEADER.RXF", "FW1.BIN", "FW2.BIN"}, true);
}

const Form kForms[] = {{"plain", PlainPackage},
                       {"compressed", CompressedPackage},
                       {"cabinet", CabinetPackage}};

class PackageDownload : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(CupsdDir().empty()) << "the private cupsd fixture did not run";
    ASSERT_TRUE(sim_.Ready());
    app_ = MakeApp();
    const Form& form = kForms[GetParam()];
    const std::string path = form.make(MakeTestDir("pkg"), data_);
    ASSERT_FALSE(path.empty()) << form.name << " package could not be made";
    app_->OpenPackage(path);
    ASSERT_NE(app_->Package, nullptr);
    ASSERT_EQ(app_->Package->Status, 0);
    view_ = std::make_unique<TfrmPrntView>(nullptr, app_.get());
    view_->OnThreadCreated = [](TPrintThread& t) { t.WatchIntervalMs = 200; };
  }
  void TearDown() override { EXPECT_EQ(JobFilesLeft(), 0); }

  void Download(const std::string& target) {
    app_->SelectedPrinter = target;
    SetField(app_->SelectedEntry.Driver, "HALVORN CORVIA KV3");
    app_->ResolveModel(app_->SelectedEntry);
    ASSERT_EQ(app_->IsPackageTarget(target), 1);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [this] { view_->done(-1); });
    guard.start(60000);
    EXPECT_EQ(view_->exec(), TfrmPrntView::kResultDone);
    EXPECT_EQ(view_->Result.code, 0);
  }
  // The bytes of the last job the simulator received on a route.
  void ExpectReceived(const std::string& route, std::size_t count) {
    const auto reports = sim_.Reports(count);
    ASSERT_EQ(reports.size(), count);
    EXPECT_EQ(JsonField(reports.back(), "route"), "\"" + route + "\"");
    EXPECT_EQ(JsonField(reports.back(), "verdict"), "\"ok\"");
    EXPECT_EQ(ReceivedJob(reports.back()), WrappedStream(data_, 1));
  }

  PrinterSimulator sim_;
  std::unique_ptr<TQUILLONApp> app_;
  std::unique_ptr<TfrmPrntView> view_;
  std::string data_;
};

TEST_P(PackageDownload, ReachesASpoolerQueueAndTheFtpServerByteExact) {
  const std::string queue = "qp_sim";
  ASSERT_TRUE(AddQueue(queue, "socket://" + sim_.Address() + ":9100/?snmp=false"));
  Download(queue);
  ExpectReceived("raw", 1);
  Download("ftp://" + sim_.Address() + "/vesta0");
  ExpectReceived("ftp", 2);
  DeleteQueue(queue);
}

INSTANTIATE_TEST_SUITE_P(EachForm, PackageDownload, ::testing::Values(0, 1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(kForms[info.param].name);
                         });

}  // namespace
