// The download command: input checks, the confirmations in their order,
// the initialisation question, the result messages and the log, with every
// box answered by a script and checked for text, style and help topic.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QLocale>
#include <QPushButton>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/app/PrinterLock.h"
#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"
#include "core/package/DownDocFile.h"
#include "platform/ProfileFile.h"
#include "resources/StringTable.h"
#include "tests/support/TestEnv.h"
#include "tests/support/CupsTestSupport.h"
#include "tests/gui/UiTestSupport.h"
#include "gui/DlgMsgBox.h"
#include "gui/MainDownloadCommand.h"
#include "gui/ProgramBoxes.h"
#include "tests/support/ScriptedBoxAnswerer.h"
#include "core/command/ExitCodes.h"
#include "core/command/ResultMessages.h"
#include "core/history/DownloadHistory.h"

using namespace quillon;

namespace {

struct Box {
  std::string text;
  int style;
  int help;
};

class DownloadCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(quillon_test::CupsdDir().empty()) << "needs the private cupsd";
    app_ = std::make_unique<TQUILLONApp>(ui_test::FreshSettings());
    package_ = ui_test::MakePackage("FW.RXF", "HALVORN KV3,HALVORN RX-140", "DATA",
                                    {"DownLoadDesc=Firmware", "DownLoadVersion=2.00",
                                     "BeginMessage=開始の案内", "DoneMessage=終了の案内"});
    app_->OpenPackage(package_);
    ASSERT_EQ(app_->GetPackage()->Status, 0);
    command_ = std::make_unique<WindowDownloadCommand>(*app_, Boxes());
    command_->Dialog = &dialog_;
    command_->LogPath = quillon_test::MakeTestDir("log") + "/DownLoad.log";
    command_->HistoryPath = quillon_test::MakeTestDir("hist") + "/history.sqlite";
    command_->RunTransfer = [this] {
      ++transfers_;
      command_->LastResult.code = nextResult_;
    };
  }

  void TearDown() override {
    for (const std::string& q : queues_) quillon_test::DeleteQueue(q);
  }

  std::string Queue(const std::string& uri, const std::string& model) {
    const std::string name = ui_test::UniqueQueue("dc");
    EXPECT_TRUE(ui_test::AddModelQueue(name, uri, model));
    queues_.push_back(name);
    return name;
  }

  std::string NetworkUri() { return quillon_test::SocketUri(quillon_test::UnusedPort()); }

  // The checks of one download; items_ offers and receives its
  // initialisation items.
  int Check(const std::string& printer) { return command_->CheckBeforeDownload(printer, items_); }

  std::vector<HistoryEntry> History() const {
    std::vector<HistoryEntry> rows;
    const platform::Error e = DownloadHistory(command_->HistoryPath).Read({}, rows);
    EXPECT_FALSE(e.Failed()) << e.detail;
    return rows;
  }

  std::vector<Box> Asked() const {
    std::vector<Box> out;
    for (const auto& q : script_.Questions()) out.push_back({q.text, q.style, q.helpContext});
    return out;
  }

  void ExpectAsked(const std::vector<Box>& expected) {
    const std::vector<Box> got = Asked();
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(got[i].text, expected[i].text);
      EXPECT_EQ(got[i].style, expected[i].style);
      EXPECT_EQ(got[i].help, expected[i].help);
    }
  }

  DownloadInputs Inputs(const std::string& printer) {
    DownloadInputs in;
    in.fileName = package_;
    in.packagePath = package_;
    in.packageState = "Firmware 2.00";
    in.printer = printer;
    in.port = "socket://x";
    return in;
  }

  std::unique_ptr<TQUILLONApp> app_;
  std::uint32_t items_ = TQUILLONApp::kDefaultInitItems;
  std::string package_;
  TDlgMsgBox dialog_;
  ScriptedBoxAnswerer script_;
  ScopedBoxAnswerer scoped_{&script_};
  std::unique_ptr<WindowDownloadCommand> command_;
  std::vector<std::string> queues_;
  int transfers_ = 0;
  std::uint16_t nextResult_ = 0;
};

TEST_F(DownloadCommandTest, MissingInputIsShownEvenWhenSilencedAndStopsTheCommand) {
  app_->ShowMessage = 0;
  DownloadInputs in = Inputs("somewhere");
  in.fileName.clear();
  EXPECT_EQ(command_->ExecDownload(in), DownloadOutcome::MissingInput);
  in.fileName = package_ + ".gone";
  EXPECT_EQ(command_->ExecDownload(in), DownloadOutcome::MissingInput);
  in.fileName = package_;
  in.printer.clear();
  EXPECT_EQ(command_->ExecDownload(in), DownloadOutcome::MissingInput);
  ExpectAsked({{LoadStr(4355), 0x40, 0}, {LoadStr(4352), 0x30, 0}, {LoadStr(4356), 0x40, 0}});
  EXPECT_EQ(transfers_, 0);
}

TEST_F(DownloadCommandTest, ParallelOnlyModelOnLpt2GetsEcpWarningThenDownloadMode) {
  const std::string lpt2 = Queue("parallel:/dev/lp1", "HALVORN RX-140");
  EXPECT_EQ(Check(lpt2), IDOK);
  ExpectAsked({{LoadStr(4107), 0x4041, 1020}, {LoadStr(4106), 0x4041, 1015}});

  // A refusal at either stops the command.
  script_.Clear();
  script_.Push(IDCANCEL);
  EXPECT_EQ(Check(lpt2), IDCANCEL);
  EXPECT_EQ(Asked().size(), 1u);
  script_.Clear();
  script_.Push(IDOK);
  script_.Push(IDCANCEL);
  EXPECT_EQ(Check(lpt2), IDCANCEL);
  EXPECT_EQ(Asked().size(), 2u);
}

TEST_F(DownloadCommandTest, ParallelOnlyModelOnNetworkPortGets4105Only) {
  const std::string net = Queue(NetworkUri(), "HALVORN RX-140");
  script_.Push(IDOK);
  EXPECT_EQ(Check(net), IDOK);
  ExpectAsked({{LoadStr(4105), 0x4121, 1012}});
  // Its default answer is Cancel.
  script_.Clear();
  EXPECT_EQ(Check(net), IDCANCEL);
}

TEST_F(DownloadCommandTest, NonTargetThenSeveralPortsThenParallelQuestionInThisOrder) {
  const std::string a = Queue(NetworkUri(), "HALVORN KV3");
  const std::string b = Queue(NetworkUri(), "HALVORN KV3");
  const std::string cls = ui_test::UniqueQueue("dccls");
  ASSERT_TRUE(quillon_test::AddClass(cls, {a, b}));
  queues_.push_back(cls);
  for (int i = 0; i < 3; ++i) script_.Push(IDOK);
  EXPECT_EQ(Check(cls), IDOK);
  ExpectAsked({{LoadStr(4103) + LoadStr(4102), 0x4121, 1011},
               {LoadStr(4104) + LoadStr(4102), 0x4121, 1012},
               {LoadStr(4105), 0x4121, 1012}});

  script_.Clear();
  script_.Push(IDOK);
  script_.Push(IDCANCEL);
  EXPECT_EQ(Check(cls), IDCANCEL);
  EXPECT_EQ(Asked().size(), 2u);
}

TEST_F(DownloadCommandTest, CommandModelAsksInitialisationThenConfirmsWithBeginMessage) {
  const std::string kv3 = Queue(NetworkUri(), "HALVORN KV3");
  BoxAnswer dialogAnswer;
  dialogAnswer.button = IDOK;
  dialogAnswer.checked = 1;
  dialogAnswer.initItems = 5;
  script_.Push(dialogAnswer);
  script_.Push(IDOK);
  EXPECT_EQ(Check(kv3), IDOK);
  const auto& q = script_.Questions();
  ASSERT_EQ(q.size(), 2u);
  EXPECT_EQ(q[0].kind, BoxQuestion::Kind::Dialog);
  EXPECT_EQ(q[0].text, LoadStr(4101));
  EXPECT_EQ(q[0].checkCaption, LoadStr(4124));
  EXPECT_TRUE(q[0].checked);
  EXPECT_EQ(q[0].style, 32);
  EXPECT_EQ(q[0].helpContext, 1031);
  EXPECT_EQ(q[1].text, LoadStr(4193) + "\n" + app_->GetPackage()->BeginMessage);
  EXPECT_EQ(q[1].style, 0x4041);
  EXPECT_EQ(q[1].helpContext, 1031);
  EXPECT_EQ(items_, 5u);
}

TEST_F(DownloadCommandTest, ClearedBoxMeansNoInitialisationAndIsClearedNextTime) {
  BoxAnswer cleared;
  cleared.button = IDOK;
  cleared.checked = 0;
  script_.Push(cleared);
  script_.Push(IDOK);
  EXPECT_EQ(command_->ConfirmInitItems(items_), IDOK);
  ASSERT_EQ(script_.Questions().size(), 2u);
  EXPECT_EQ(script_.Questions()[1].text,
            LoadStr(4194) + "\n" + app_->GetPackage()->BeginMessage);
  EXPECT_EQ(script_.Questions()[1].helpContext, 1032);
  EXPECT_EQ(items_, 0u);

  script_.Clear();
  script_.Push(IDCANCEL);  // the dialog itself refused: nothing follows
  EXPECT_EQ(command_->ConfirmInitItems(items_), IDCANCEL);
  ASSERT_EQ(script_.Questions().size(), 1u);
  EXPECT_FALSE(script_.Questions()[0].checked);
  EXPECT_EQ(items_, 0u);
}

TEST_F(DownloadCommandTest, DetailsButtonOnlyForTheDetailModels) {
  SetField(app_->SelectedEntry.Driver, "HALVORN CORVIA KV10");
  command_->ConfirmInitItems(items_);
  EXPECT_TRUE(dialog_.Button1->isEnabled());
  EXPECT_TRUE(dialog_.Button1->isHidden());
  SetField(app_->SelectedEntry.Driver, "HALVORN CORVIA kv10");  // letter case counts
  command_->ConfirmInitItems(items_);
  EXPECT_FALSE(dialog_.Button1->isEnabled());
}

TEST_F(DownloadCommandTest, WithoutCommandNoInitialisationQuestion) {
  const std::string kv3 = Queue(NetworkUri(), "HALVORN KV3");
  app_->EnableCommand = 0;
  EXPECT_EQ(Check(kv3), IDOK);
  EXPECT_TRUE(script_.Questions().empty());
}

TEST_F(DownloadCommandTest, SilencedQuestionsPassButTheInitialisationDialogStillAsks) {
  const std::string other = Queue(NetworkUri(), "HALVORN KV40");  // not a target
  app_->ShowMessage = 0;
  script_.Push(IDOK);
  EXPECT_EQ(Check(other), IDOK);
  ASSERT_EQ(script_.Questions().size(), 1u);
  EXPECT_EQ(script_.Questions()[0].kind, BoxQuestion::Kind::Dialog);
}

TEST_F(DownloadCommandTest, ResultTableCoversEveryCode) {
  struct Row {
    int code, id, icon, help;
  };
  const Row rows[] = {{0, 4113, 0x40, 2001},    {17, 4114, 0x10, 2002}, {18, 4118, 0x10, 2004},
                      {19, 4353, 0x10, 0},      {32, 4115, 0x10, 2005}, {33, 4116, 0x10, 2005},
                      {34, 4116, 0x10, 2005},   {35, 4357, 0x10, 2010}, {64, 4123, 0x40, 9999},
                      {4096, 4117, 0x10, 2008}, {1, 4119, 0x10, 9999},  {65535, 4119, 0x10, 9999}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.code);
    const ResultMessageText m = ResultMessage(r.code);
    EXPECT_EQ(m.messageId, r.id);
    EXPECT_EQ(m.iconStyle, r.icon);
    EXPECT_EQ(m.helpContext, r.help);
    EXPECT_FALSE(ResultText(m).empty());
  }
}

TEST_F(DownloadCommandTest, SuccessReportsDoneMessageOr4121Or4122) {
  command_->ReportResult(0);
  ExpectAsked({{LoadStr(4113), 0x4040, 2001}, {"終了の案内", 0x4040, 1016}});

  script_.Clear();
  app_->OpenPackage(ui_test::MakePackage("PLAIN.RXF", "HALVORN KV3"));
  command_->ReportResult(0);
  ExpectAsked({{LoadStr(4113), 0x4040, 2001}, {LoadStr(4121), 0x4040, 1016}});

  script_.Clear();
  app_->EnableCommand = 0;
  command_->ReportResult(0);
  ExpectAsked({{LoadStr(4113), 0x4040, 2001}, {LoadStr(4122), 0x4040, 1016}});
}

TEST_F(DownloadCommandTest, FailuresAddTheSwitchOffAdviceExceptAFailedDirectoryChange) {
  command_->ReportResult(35);
  ExpectAsked({{LoadStr(4357), 0x4010, 2010}});

  for (auto [code, id, help] : {std::tuple<int, int, int>{4096, 4117, 2008}, {17, 4114, 2002},
                                {18, 4118, 2004}, {34, 4116, 2005}, {777, 4119, 9999}}) {
    SCOPED_TRACE(code);
    script_.Clear();
    command_->ReportResult(code);
    ExpectAsked({{LoadStr(id), 0x4010, help}, {LoadStr(4120), 0x4040, help}});
  }
  // A printer that cannot be opened: what to check of it instead.
  script_.Clear();
  command_->ReportResult(32);
  ExpectAsked({{LoadStr(4115), 0x4010, 2005}, {LoadStr(4165), 0x4040, 2005}});
  // A store the printer's FTP server refused: what it refused, and why.
  script_.Clear();
  command_->LastResult.detail = "STOR dwn1A2B.tmp: 553 Could not create file.";
  command_->ReportResult(33);
  ExpectAsked({{LoadStr(4116), 0x4010, 2005},
               {LoadStr(4166) + "\nSTOR dwn1A2B.tmp: 553 Could not create file.", 0x4040, 2005}});
}

TEST_F(DownloadCommandTest, LogIsWrittenOnlyAfterSuccess) {
  const std::string kv3 = Queue(NetworkUri(), "HALVORN KV3");
  app_->ShowMessage = 0;
  const QDateTime when(QDate(2024, 3, 5), QTime(9, 8, 7));
  command_->Now = [when] { return when; };

  nextResult_ = 33;
  EXPECT_EQ(command_->ExecDownload(Inputs(kv3)), DownloadOutcome::Ran);
  EXPECT_EQ(transfers_, 1);
  EXPECT_TRUE(quillon_test::ReadFileBytes(command_->LogPath).empty());

  nextResult_ = 0;
  EXPECT_EQ(command_->ExecDownload(Inputs(kv3)), DownloadOutcome::Ran);
  const std::string section = WindowDownloadCommand::LogSection(when);
  EXPECT_EQ(platform::GetPrivateProfileString(section, package_ + ",Firmware 2.00", "?",
                                              command_->LogPath),
            kv3 + ",socket://x");
}

// A result box may stay open for a long time (or the program be killed
// under it): the log and the history are written before the first one.
TEST_F(DownloadCommandTest, TheRecordIsWrittenBeforeAnyResultBoxIsShown) {
  const std::string kv3 = Queue(NetworkUri(), "HALVORN KV3");
  app_->ShowMessage = 1;
  struct Watcher : BoxAnswerer {
    std::function<void()> atResult;
    int resultBoxes = 0;
    BoxAnswer Answer(const BoxQuestion& q) override {
      // The result texts of a success, a busy printer and a failed send.
      bool result = false;
      for (const int code : {0, 32, 33}) result |= q.text == ResultText(ResultMessage(code));
      if (result) {
        if (resultBoxes++ == 0) atResult();
      }
      BoxAnswer a;
      a.button = IDOK;
      return a;
    }
  } watcher;
  ScopedBoxAnswerer scoped(&watcher);
  command_->RunTransfer = [this] { command_->LastResult.code = nextResult_; };
  std::string logAtBox;
  std::size_t rowsAtBox = 0;
  watcher.atResult = [&] {
    logAtBox = quillon_test::ReadFileBytes(command_->LogPath);
    rowsAtBox = History().size();
  };

  nextResult_ = 0;
  ASSERT_EQ(command_->ExecDownload(Inputs(kv3)), DownloadOutcome::Ran);
  EXPECT_EQ(watcher.resultBoxes, 1);
  EXPECT_NE(logAtBox.find(kv3 + ",socket://x"), std::string::npos) << logAtBox;
  EXPECT_EQ(rowsAtBox, 1u);

  // A failure and a busy printer: their history row is there as well.
  watcher.resultBoxes = 0;
  nextResult_ = 33;
  ASSERT_EQ(command_->ExecDownload(Inputs(kv3)), DownloadOutcome::Ran);
  EXPECT_EQ(watcher.resultBoxes, 1);
  EXPECT_EQ(rowsAtBox, 2u);

  watcher.resultBoxes = 0;
  PrinterLock other;
  ASSERT_TRUE(other.TryAcquire(PrinterTarget::Of(kv3)));
  ASSERT_EQ(command_->ExecDownload(Inputs(kv3)), DownloadOutcome::Busy);
  EXPECT_EQ(watcher.resultBoxes, 1);
  EXPECT_EQ(rowsAtBox, 3u);
}

TEST_F(DownloadCommandTest, RefusedConfirmationRunsNoTransfer) {
  const std::string net = Queue(NetworkUri(), "HALVORN RX-140");
  script_.Push(IDCANCEL);
  EXPECT_EQ(command_->ExecDownload(Inputs(net)), DownloadOutcome::Declined);
  EXPECT_EQ(transfers_, 0);
  EXPECT_EQ(script_.Questions().size(), 1u);
}

TEST_F(DownloadCommandTest, ThePackageNamedByTheWindowIsTheOneSent) {
  const std::string kv3 = Queue(NetworkUri(), "HALVORN KV3");
  app_->ShowMessage = 0;
  // A later open failed: the application object holds the failed package
  // while the window still names the good one.
  app_->OpenPackage(package_ + ".missing");
  ASSERT_NE(app_->GetPackage()->Status, 0);
  std::string sent;
  command_->RunTransfer = [&] {
    sent = app_->GetPackage()->FileName;
    command_->LastResult.code = 0;
  };
  EXPECT_EQ(command_->ExecDownload(Inputs(kv3)), DownloadOutcome::Ran);
  EXPECT_EQ(sent, package_);

  // A file that cannot be read any more is reported and not sent.
  const std::string broken = ui_test::MakePackage("BROKEN.RXF", "HALVORN KV3");
  quillon_test::WriteFileBytes(broken, "[RX_DownLoad]\r\nFileFormat=RXF\r\n");  // no data mark
  DownloadInputs in = Inputs(kv3);
  in.fileName = broken;
  script_.Clear();
  EXPECT_EQ(command_->ExecDownload(in), DownloadOutcome::BadPackage);
  ExpectAsked({{LoadStr(4353), 0x10, 0}});
}

TEST_F(DownloadCommandTest, APrinterBusyWithAnotherDownloadIsNotSentTo) {
  const std::string kv3 = Queue(NetworkUri(), "HALVORN KV3");
  app_->ShowMessage = 0;
  // Another copy of the program (or quillon-cli) is sending to it.
  PrinterLock other;
  ASSERT_TRUE(other.TryAcquire(PrinterTarget::Of(kv3)));
  EXPECT_EQ(command_->ExecDownload(Inputs(kv3)), DownloadOutcome::Busy);
  EXPECT_EQ(transfers_, 0);
  EXPECT_EQ(command_->LastResult.code, 32);
  // Shown even when silenced: nothing was sent.
  ASSERT_FALSE(script_.Questions().empty());
  EXPECT_EQ(script_.Questions().back().text, LoadStr(4115));
  EXPECT_TRUE(quillon_test::ReadFileBytes(command_->LogPath).empty());

  // The lock is the command's only while the transfer runs.
  other.Release();
  bool heldDuringTransfer = false;
  command_->RunTransfer = [&] {
    PrinterLock probe;
    heldDuringTransfer = !probe.TryAcquire(PrinterTarget::Of(kv3));
    command_->LastResult.code = 0;
  };
  EXPECT_EQ(command_->ExecDownload(Inputs(kv3)), DownloadOutcome::Ran);
  EXPECT_TRUE(heldDuringTransfer);
  EXPECT_TRUE(other.TryAcquire(PrinterTarget::Of(kv3)));
}

TEST_F(DownloadCommandTest, EveryAttemptIsInTheHistoryAndAFailureKeepsItsCause) {
  const std::string kv3 = Queue(NetworkUri(), "HALVORN KV3");
  app_->ShowMessage = 0;
  command_->RunTransfer = [this] {
    command_->LastResult.code = nextResult_;
    command_->LastResult.detail = nextResult_ ? "write to the spooler: Broken pipe" : "";
    command_->LastResult.bytesSent = nextResult_ ? 512 : 4;
  };
  nextResult_ = 33;
  ASSERT_EQ(command_->ExecDownload(Inputs(kv3)), DownloadOutcome::Ran);
  EXPECT_TRUE(quillon_test::ReadFileBytes(command_->LogPath).empty());
  std::vector<HistoryEntry> rows = History();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].result, 33);
  EXPECT_EQ(rows[0].detail, "write to the spooler: Broken pipe");
  EXPECT_EQ(rows[0].bytesSent, 512);
  EXPECT_EQ(rows[0].printer, kv3);
  EXPECT_EQ(rows[0].route, "spooler");
  EXPECT_EQ(rows[0].packagePath, package_);
  EXPECT_EQ(rows[0].description, "Firmware");
  EXPECT_EQ(rows[0].version, "2.00");
  EXPECT_EQ(rows[0].sha256.size(), 64u);
  EXPECT_FALSE(rows[0].user.empty());

  nextResult_ = 0;
  ASSERT_EQ(command_->ExecDownload(Inputs(kv3)), DownloadOutcome::Ran);
  // Another download holds the printer: that attempt is kept too.
  PrinterLock other;
  ASSERT_TRUE(other.TryAcquire(PrinterTarget::Of(kv3)));
  ASSERT_EQ(command_->ExecDownload(Inputs(kv3)), DownloadOutcome::Busy);
  rows = History();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].result, 0);
  EXPECT_EQ(rows[1].detail, "");
  EXPECT_EQ(rows[1].bytesSent, 4);
  EXPECT_EQ(rows[2].result, 32);
  EXPECT_FALSE(rows[2].detail.empty());
}

TEST_F(DownloadCommandTest, AHistoryThatCannotBeWrittenNeverStopsTheDownload) {
  const std::string kv3 = Queue(NetworkUri(), "HALVORN KV3");
  app_->ShowMessage = 0;
  ASSERT_TRUE(quillon_test::WriteFileBytes(command_->HistoryPath, std::string(4096, 'x')));
  testing::internal::CaptureStderr();
  EXPECT_EQ(command_->ExecDownload(Inputs(kv3)), DownloadOutcome::Ran);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(transfers_, 1);
  EXPECT_EQ(command_->LastResult.code, 0);
  EXPECT_NE(quillon_test::ReadFileBytes(command_->LogPath).find(kv3), std::string::npos);
  EXPECT_NE(err.find("history was not written"), std::string::npos) << err;
  // Kept for the unattended run's exit code: sent, not recorded.
  EXPECT_NE(command_->RecordError.find("history was not written"), std::string::npos);
  EXPECT_EQ(ExitOfOutcome(DownloadOutcome::Ran, command_->LastResult.code,
                          command_->RecordError.empty()),
            kExitNotRecorded);
  EXPECT_EQ(quillon_test::ReadFileBytes(command_->HistoryPath), std::string(4096, 'x'));
}

TEST_F(DownloadCommandTest, APackageWhoseOpeningFailedIsNeverSentAndTheCauseIsTold) {
  const std::string kv3 = Queue(NetworkUri(), "HALVORN KV3");
  app_->ShowMessage = 0;
  // A folder named as the package on the command line: opened at start,
  // with its error status, and named by the window as it is.
  const std::string folder = quillon_test::MakeTestDir("notapackage");
  app_->OpenPackage(folder);
  ASSERT_NE(app_->GetPackage()->Status, 0);
  DownloadInputs in = Inputs(kv3);
  in.fileName = in.packagePath = folder;
  testing::internal::CaptureStderr();
  EXPECT_EQ(command_->ExecDownload(in), DownloadOutcome::BadPackage);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(transfers_, 0);
  EXPECT_NE(err.find(folder + ": is a directory"), std::string::npos) << err;

  // A missing file keeps its box and tells the reason on the error stream.
  in.fileName = folder + "/gone.RXF";
  testing::internal::CaptureStderr();
  EXPECT_EQ(command_->ExecDownload(in), DownloadOutcome::MissingInput);
  err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(std::string("gone.RXF: ") + std::strerror(ENOENT)), std::string::npos) << err;
  EXPECT_EQ(transfers_, 0);
  EXPECT_TRUE(History().empty());
}

TEST(DownloadLog, SectionIsShortDateBlankLongTimeAndNoEntryReplacesAnother) {
  const QDateTime when(QDate(2023, 12, 31), QTime(23, 59, 58));
  const QLocale l = QLocale::system();
  EXPECT_EQ(WindowDownloadCommand::LogSection(when),
            (l.toString(when.date(), QLocale::ShortFormat) + " " +
             l.toString(when.time(), QLocale::LongFormat))
                .toStdString());
  EXPECT_EQ(WindowDownloadCommand::DefaultLogPath(), TDownDocFile::DefaultIconFolder() + "DownLoad.log");

  TQUILLONApp app(ui_test::FreshSettings());
  WindowDownloadCommand command(app, Boxes());
  command.LogPath = quillon_test::MakeTestDir("log") + "/sub/DownLoad.log";
  command.Now = [when] { return when; };
  DownloadInputs in;
  in.packagePath = "/p/FW.RXF";
  in.packageState = "説明 1.0";
  in.printer = "ftp://10.0.0.9/vesta0";
  in.port = "";
  EXPECT_FALSE(command.WriteDownloadLog(in).Failed());
  in.port = "second";
  EXPECT_FALSE(command.WriteDownloadLog(in).Failed());
  // A path with "=", typed relative to the working folder.
  in.packagePath = "rel/a=b.RXF";
  in.port = "third";
  EXPECT_FALSE(command.WriteDownloadLog(in).Failed());
  const std::string cwd = QDir::currentPath().toStdString();
  const std::string text = quillon_test::ReadFileBytes(command.LogPath);
  const std::string section = WindowDownloadCommand::LogSection(when);
  EXPECT_EQ(text, "[" + section + "]\n/p/FW.RXF,説明 1.0=ftp://10.0.0.9/vesta0,\n" + cwd +
                      "/rel/a%3Db.RXF,説明 1.0=ftp://10.0.0.9/vesta0,third\n\n[" + section +
                      " (2)]\n/p/FW.RXF,説明 1.0=ftp://10.0.0.9/vesta0,second\n");
}

}  // namespace

namespace {

// The command with a transfer that keeps what each request asked to reset.
class ItemsSeeingCommand : public DownloadCommandCore {
 public:
  using DownloadCommandCore::DownloadCommandCore;
  std::vector<std::uint32_t> sent;

 protected:
  void Transfer(const TransferRequest& request) override {
    sent.push_back(request.initItems);
    LastResult.code = 0;
  }
};

}  // namespace

// The items a download resets are the answer of its own start question,
// carried in its request; the window offers that answer the next time.
TEST_F(DownloadCommandTest, EachDownloadSendsTheItemsItsStartQuestionChoseAndOffersThemNextTime) {
  const std::string kv3 = Queue(NetworkUri(), "HALVORN KV3");
  ItemsSeeingCommand command(*app_, Boxes());
  command.LogPath = command_->LogPath;
  command.HistoryPath = command_->HistoryPath;
  BoxAnswer five;
  five.button = IDOK;
  five.checked = 1;
  five.initItems = 5;
  BoxAnswer cleared;
  cleared.button = IDOK;
  cleared.checked = 0;
  script_.Push(five);
  script_.Push(IDOK);
  script_.Push(IDOK);  // the result
  ASSERT_EQ(command.ExecDownload(Inputs(kv3)), DownloadOutcome::Ran);
  script_.Push(cleared);
  script_.Push(IDOK);
  script_.Push(IDOK);
  ASSERT_EQ(command.ExecDownload(Inputs(kv3)), DownloadOutcome::Ran);
  script_.Push(IDCANCEL);
  ASSERT_EQ(command.ExecDownload(Inputs(kv3)), DownloadOutcome::Declined);
  EXPECT_EQ(command.sent, (std::vector<std::uint32_t>{5, 0}));

  std::vector<bool> offered;
  for (const auto& q : script_.Questions())
    if (q.kind == BoxQuestion::Kind::Dialog) offered.push_back(q.checked);
  EXPECT_EQ(offered, (std::vector<bool>{true, true, false}));
  EXPECT_EQ(command.OfferedInitItems, 0u);

  // Each attempt that ran is recorded; the refused one sent nothing.
  EXPECT_EQ(History().size(), 2u);
}
