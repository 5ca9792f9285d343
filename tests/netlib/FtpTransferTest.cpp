// Uploads through the library to the printer simulator: real sockets, real
// active-mode data connections from pyftpdlib.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "netlib/FileTransfer.h"
#include "netlib/FtpSession.h"
#include "netlib/quillon.h"
#include "tests/support/TestEnv.h"
#include "tests/support/NotifyRecorder.h"
#include "tests/support/PrinterSimulator.h"

using namespace quillon::net;
using quillon_test::JsonField;
using quillon_test::NotifyRecorder;
using quillon_test::PrinterSimulator;

namespace {

const std::string kPreamble(
    "\x1b\x01@EJL\r\n@EJL SE LA = ESC/P\r\n@EJL EN LA = ESC/P\r\n\x1bz\xd0\x81", 52);

// A job stream as the program writes it: preamble, length, data, restart.
std::string MakeJob(size_t dataSize) {
  std::string data(dataSize, '\0');
  uint32_t x = 12345;
  for (auto& c : data) {
    x = x * 1103515245 + 12345;
    c = static_cast<char>(x >> 24);
  }
  char length[16];
  std::snprintf(length, sizeof(length), "Uf%08zu,0*", dataSize);
  return kPreamble + length + data + "Ug,1,1*";
}

std::string WriteJob(const std::string& bytes, const std::string& name = "dwn1A2B.tmp") {
  const std::string path = quillon_test::MakeTestDir("job") + "/" + name;
  EXPECT_TRUE(quillon_test::WriteFileBytes(path, bytes));
  return path;
}

void ExpectSameBytes(const std::string& got, const std::string& want) {
  EXPECT_EQ(got.size(), want.size());
  EXPECT_TRUE(got == want) << "the stored bytes differ";
}

// Short waits, so failures show within a second or two.
TransferOptions Quick() {
  TransferOptions o;
  o.timeouts.readMs = 10000;
  o.timeouts.listAcceptMs = 3000;
  o.timeouts.storeAcceptMs = 3000;
  o.timeouts.connectCycles = 5;
  return o;
}

class FtpTransfer : public ::testing::Test {
 protected:
  void Start(const std::vector<std::string>& args = {}) {
    sim_.reset();
    sim_ = std::make_unique<PrinterSimulator>(args);
    ASSERT_TRUE(sim_->Ready()) << "printer simulator did not start";
    target_.clear();
  }
  // One process plays a printer per entry (a --printer-config object each);
  // At(i) sends the following uploads to the i-th.
  void StartFleet(const std::vector<std::string>& printers) {
    sim_.reset();
    std::map<int, std::string> config;
    for (size_t i = 0; i < printers.size(); ++i) config[static_cast<int>(i)] = printers[i];
    sim_ = std::make_unique<PrinterSimulator>(static_cast<int>(printers.size()),
                                              std::vector<std::string>{}, config);
    ASSERT_TRUE(sim_->Ready()) << "printer simulator did not start";
    target_.clear();
  }
  const std::string& At(size_t index) { return target_ = sim_->Addresses().at(index); }
  uint32_t Upload(const std::string& path, NotifyRecorder* recorder = nullptr,
                  const TransferOptions& options = Quick(), ChunkSource* source = nullptr,
                  const char* directory = "vesta0") {
    const std::string& host = target_.empty() ? sim_->Address() : target_;
    last_ = TransferFile(recorder ? recorder->Target() : nullptr, host.c_str(),
                         directory, path.c_str(), options, source);
    return static_cast<uint32_t>(last_.code);
  }
  std::string Stored(const std::string& name) {
    return quillon_test::ReadFileBytes(sim_->FtpFolder() + "/" + name);
  }
  std::unique_ptr<PrinterSimulator> sim_;
  std::string target_;    // empty: the simulator's first address
  platform::Error last_;  // of the last Upload
};

// Fails after handing out two chunks.
class BrokenSource : public ChunkSource {
 public:
  bool Open() override { return true; }
  int64_t Length() const override { return 4096; }
  long Read(char* bytes, size_t n) override {
    if (reads_++ >= 2) return -1;
    std::memset(bytes, 'b', n);
    handedOut_ += n;
    return static_cast<long>(n);
  }
  void Close() override {}
  size_t HandedOut() const { return handedOut_; }

 private:
  int reads_ = 0;
  size_t handedOut_ = 0;
};

}  // namespace

TEST_F(FtpTransfer, StoresTheFileByteForByteUnderItsBaseName) {
  Start();
  const std::string job = MakeJob(100000);
  // The job file lies in a folder; the printer gets only the plain name.
  const std::string path = WriteJob(job);
  NotifyRecorder recorder;
  ASSERT_EQ(Upload(path, &recorder), 0u);
  ExpectSameBytes(Stored("dwn1A2B.tmp"), job);
  std::vector<std::string> entries;
  for (const auto& e : std::filesystem::recursive_directory_iterator(sim_->Root() + "/ftp"))
    entries.push_back(e.path().filename().string());
  EXPECT_EQ(entries, (std::vector<std::string>{"vesta0", "dwn1A2B.tmp"}));

  const auto reports = sim_->Reports(1);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(JsonField(reports[0], "verdict"), "\"ok\"");
  EXPECT_EQ(JsonField(reports[0], "length_field"), "100000");
  EXPECT_EQ(JsonField(reports[0], "restart"), "\"Ug,1,1*\"");
}

TEST_F(FtpTransfer, NotificationSequenceAndProgressCounts) {
  Start();
  const std::string job = MakeJob(2000);  // 2072 bytes: 4 chunks of 512 and 24
  NotifyRecorder recorder(0, 0, 2);        // answers 2: never an abort
  ASSERT_EQ(Upload(WriteJob(job), &recorder), 0u);
  std::vector<std::pair<unsigned, intptr_t>> events;
  for (const auto& e : recorder.Events()) {
    // Waiting cycles of the control connection may or may not come, and
    // so may the questions of a wait that took a while.
    if (e.first == NOTIFY_WAITING) continue;
    if (!(e.first == NOTIFY_CONNECTING && events.size() == 2)) events.push_back(e);
  }
  const std::vector<std::pair<unsigned, intptr_t>> expected = {
      {NOTIFY_BEGIN, 0},        {NOTIFY_NET_READY, 0},   {NOTIFY_LOGGED_IN, 0},
      {NOTIFY_CONNECTING, 0},   {NOTIFY_SENDING, 0},     {NOTIFY_PROGRESS, 2072},
      {NOTIFY_PROGRESS, 512},   {NOTIFY_PROGRESS, 1024}, {NOTIFY_PROGRESS, 1536},
      {NOTIFY_PROGRESS, 2048},  {NOTIFY_PROGRESS, 2072}, {NOTIFY_SENT, 0}};
  EXPECT_EQ(events, expected);
}

TEST_F(FtpTransfer, ExportRunsWithoutNotifyTarget) {
  Start();
  const std::string job = MakeJob(5000);
  EXPECT_EQ(QUILLON_FileTransfer(nullptr, sim_->Address().c_str(), "vesta0",
                                 WriteJob(job).c_str()),
            0);
  ExpectSameBytes(Stored("dwn1A2B.tmp"), job);
  // A target without a callback is not one either.
  QUILLON_NotifyTarget empty{nullptr, nullptr};
  EXPECT_EQ(QUILLON_FileTransfer(&empty, sim_->Address().c_str(), "vesta0",
                                 WriteJob(job, "second.tmp").c_str()),
            0);
  ExpectSameBytes(Stored("second.tmp"), job);
}

TEST_F(FtpTransfer, AbortAnsweredAtEachNotification) {
  Start();
  const std::string job = MakeJob(3000);
  const std::string path = WriteJob(job);
  struct Case {
    unsigned kind;
    int occurrence;
  };
  for (const Case c : {Case{NOTIFY_BEGIN, 1}, Case{NOTIFY_NET_READY, 1},
                       Case{NOTIFY_LOGGED_IN, 1}, Case{NOTIFY_CONNECTING, 1},
                       Case{NOTIFY_SENDING, 1}, Case{NOTIFY_PROGRESS, 3},
                       Case{NOTIFY_SENT, 1}}) {
    SCOPED_TRACE(testing::Message() << "abort at " << c.kind << " #" << c.occurrence);
    NotifyRecorder recorder(c.kind, c.occurrence);
    EXPECT_EQ(Upload(path, &recorder), static_cast<uint32_t>(ERR_CANCELLED));
    // Nothing follows the abort, except that an abort in the data loop
    // still closes the data connection and tells so.
    const auto kinds = recorder.Kinds();
    if (c.kind == NOTIFY_PROGRESS) {
      ASSERT_GE(kinds.size(), 2u);
      EXPECT_EQ(kinds[kinds.size() - 2], c.kind);
      EXPECT_EQ(kinds.back(), static_cast<unsigned>(NOTIFY_SENT));
      EXPECT_EQ(recorder.Count(NOTIFY_PROGRESS), 3);
    } else {
      EXPECT_EQ(kinds.back(), c.kind);
    }
  }
  // Aborted before any connection: the printer saw none of those.
  NotifyRecorder atBegin(NOTIFY_BEGIN);
  EXPECT_EQ(Upload(path, &atBegin), static_cast<uint32_t>(ERR_CANCELLED));
  EXPECT_EQ(atBegin.Events().size(), 1u);
}

TEST_F(FtpTransfer, AbortAtFirstProgressSendsNoByteOfTheFirmware) {
  Start();
  const std::string job = MakeJob(3000);
  NotifyRecorder recorder(NOTIFY_PROGRESS, 1);
  EXPECT_EQ(Upload(WriteJob(job), &recorder), static_cast<uint32_t>(ERR_CANCELLED));
  EXPECT_EQ(Stored("dwn1A2B.tmp"), "");
  EXPECT_EQ(recorder.Count(NOTIFY_PROGRESS), 1);
}

TEST_F(FtpTransfer, ResultPrecedenceAtTheEndOfTheDataLoop) {
  Start();
  const std::string path = WriteJob("x");
  // A read that fails after data went: ERR_FILE_READ, also over an abort.
  BrokenSource broken;
  EXPECT_EQ(Upload(path, nullptr, Quick(), &broken), static_cast<uint32_t>(ERR_FILE_READ));
  EXPECT_EQ(Stored("dwn1A2B.tmp"), std::string(broken.HandedOut(), 'b'));
  // An abort before the first chunk is read keeps its own code.
  BrokenSource brokenAborted;
  NotifyRecorder abortFirst(NOTIFY_PROGRESS, 1);
  EXPECT_EQ(Upload(path, &abortFirst, Quick(), &brokenAborted),
            static_cast<uint32_t>(ERR_CANCELLED));
  // No data sent at all: ERR_DATA_SEND, over the failed read too.
  EXPECT_EQ(Upload(WriteJob("", "empty.tmp")), static_cast<uint32_t>(ERR_DATA_SEND));
  EXPECT_EQ(Stored("empty.tmp"), "");
  const std::string missing = quillon_test::MakeTestDir("gone") + "/missing.tmp";
  EXPECT_EQ(Upload(missing), static_cast<uint32_t>(ERR_DATA_SEND));
}

TEST_F(FtpTransfer, DataConnectionClosedMidTransferWithPositiveReply) {
  Start({"--ftp-fault", "close-data-mid-transfer"});
  EXPECT_EQ(Upload(WriteJob(MakeJob(8 << 20))), static_cast<uint32_t>(ERR_DATA_SEND));
}

TEST_F(FtpTransfer, ServerDroppingEverythingMidTransfer) {
  Start({"--ftp-fault", "drop-mid-transfer"});
  EXPECT_EQ(Upload(WriteJob(MakeJob(8 << 20))), static_cast<uint32_t>(ERR_TRANSFER_REPLY));
}

TEST_F(FtpTransfer, RefusedFinalReply) {
  Start({"--ftp-fault", "refuse-final"});
  EXPECT_EQ(Upload(WriteJob(MakeJob(1000))), static_cast<uint32_t>(ERR_TRANSFER_REPLY));
}

TEST_F(FtpTransfer, ServerRefusals) {
  struct Case {
    const char* fault;
    uint32_t result;
    const char* detail;  // how the cause begins; the same code, told apart
  };
  const std::vector<Case> cases = {
      Case{"greeting-120", ERR_CONNECT, "greeting: 120 "},
      Case{"refuse-cwd", ERR_DIRECTORY, "CWD vesta0: 550 "},
      Case{"refuse-port", ERR_DIRECTORY, "PORT 127,"},
      Case{"list-550", ERR_DIRECTORY, "LIST: 550 "},
      Case{"no-data-list", ERR_DIRECTORY, "LIST: the printer did not open the data connection"},
      Case{"refuse-port-store", ERR_PORT, "PORT 127,"},
      Case{"store-553", ERR_STORE, "STOR dwn1A2B.tmp: 553 "},
      Case{"no-data-store", ERR_DATA_ACCEPT, "STOR dwn1A2B.tmp: the printer did not open"},
      Case{"refuse-type", 0u, ""}, Case{"user-230", 0u, ""}};
  // One printer per fault, all in one simulator process.
  std::vector<std::string> printers;
  for (const Case& c : cases) printers.push_back(std::string("{\"ftp_faults\": [\"") + c.fault + "\"]}");
  StartFleet(printers);
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.fault);
    At(i);
    TransferOptions o = Quick();
    o.timeouts.listAcceptMs = 1000;
    o.timeouts.storeAcceptMs = 1000;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Upload(WriteJob(MakeJob(100)), nullptr, o), c.result);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8));
    EXPECT_EQ(last_.detail.rfind(c.detail, 0), 0u) << last_.detail;
  }
}

TEST_F(FtpTransfer, ExportLeavesCodeAndCauseAsLastError) {
  Start({"--ftp-fault", "refuse-cwd"});
  const std::string path = WriteJob(MakeJob(100));
  EXPECT_EQ(QUILLON_FileTransfer(nullptr, sim_->Address().c_str(), "vesta0", path.c_str()),
            ERR_DIRECTORY);
  EXPECT_EQ(QUILLON_GetLastError(), static_cast<uint32_t>(ERR_DIRECTORY));
  char text[16];
  const uint32_t full = QUILLON_GetLastErrorDetail(text, sizeof(text));
  EXPECT_STREQ(text, "CWD vesta0: 550");  // cut to the buffer, NUL included
  std::string detail(full, '\0');
  QUILLON_GetLastErrorDetail(detail.data(), full + 1);
  EXPECT_EQ(detail.rfind("CWD vesta0: 550 ", 0), 0u) << detail;

  Start();
  EXPECT_EQ(QUILLON_FileTransfer(nullptr, sim_->Address().c_str(), "vesta0", path.c_str()), 0);
  EXPECT_EQ(QUILLON_GetLastError(), 0u);
  EXPECT_EQ(QUILLON_GetLastErrorDetail(nullptr, 0), 0u);
}

TEST_F(FtpTransfer, NoServerOrNoDottedAddressIsNoConnection) {
  Start({"--ftp-port", "0"});
  EXPECT_EQ(Upload(WriteJob("x")), static_cast<uint32_t>(ERR_CONNECT));
  EXPECT_NE(last_.detail.find(std::string(": ") + std::strerror(ECONNREFUSED)), std::string::npos) << last_.detail;
  const std::string missing = quillon_test::MakeTestDir("gone") + "/none.tmp";
  Start();
  EXPECT_EQ(Upload(missing), static_cast<uint32_t>(ERR_DATA_SEND));
  EXPECT_NE(last_.detail.find(std::string("none.tmp: ") + std::strerror(ENOENT)), std::string::npos)
      << last_.detail;
  EXPECT_EQ(QUILLON_FileTransfer(nullptr, nullptr, nullptr, nullptr), ERR_CONNECT);
}

TEST_F(FtpTransfer, SilentServerEndsEachStepWithinTheReadBound) {
  struct Case {
    const char* point;
    uint32_t result;
  };
  // Each printer stops at its point until released, which happens only
  // after every upload ended: the client must give up by its own bound.
  // CWD unanswered: no reply. LIST unanswered: its data connection stays
  // silent. STOR unanswered: not positive.
  const std::vector<Case> cases = {Case{"GREETING", ERR_CONNECT}, Case{"CWD", ERR_DIRECTORY},
                                   Case{"LIST", ERR_DIRECTORY}, Case{"STOR", ERR_STORE}};
  std::vector<std::string> printers;
  for (const Case& c : cases) printers.push_back(std::string("{\"holds\": [\"") + c.point + "\"]}");
  StartFleet(printers);
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.point);
    const std::string& address = At(i);
    TransferOptions o = Quick();
    o.timeouts.readMs = 700;
    o.timeouts.listAcceptMs = 700;
    o.timeouts.storeAcceptMs = 700;
    o.timeouts.connectCycles = 1;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Upload(WriteJob("x"), nullptr, o), c.result) << last_.detail;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4));
    // The printer did stop there, and still is.
    EXPECT_TRUE(sim_->Held(c.point, 1, address));
  }
  // No printer stopped anywhere else.
  std::ifstream held(sim_->Root() + "/held.jsonl");
  size_t stops = 0;
  for (std::string line; std::getline(held, line);) ++stops;
  EXPECT_EQ(stops, cases.size());
  sim_->Release();
}

TEST_F(FtpTransfer, DataConnectionFromAnotherAddressIsNeverTaken) {
  Start({"--data-from", "127.0.5.1"});
  TransferOptions o = Quick();
  o.timeouts.listAcceptMs = 1000;
  EXPECT_EQ(Upload(WriteJob("x"), nullptr, o), static_cast<uint32_t>(ERR_DIRECTORY));
}

TEST_F(FtpTransfer, NamesThatDoNotFitOrCarryLineEndsAreNotSent) {
  Start();
  const std::string job = MakeJob(10);
  const std::string dir249(249, 'd');
  std::filesystem::create_directory(sim_->Root() + "/ftp/" + dir249);
  EXPECT_EQ(Upload(WriteJob(job), nullptr, Quick(), nullptr, dir249.c_str()), 0u);
  ExpectSameBytes(quillon_test::ReadFileBytes(sim_->Root() + "/ftp/" + dir249 + "/dwn1A2B.tmp"), job);

  const std::string dir250(250, 'd');
  EXPECT_EQ(Upload(WriteJob(job), nullptr, Quick(), nullptr, dir250.c_str()),
            static_cast<uint32_t>(ERR_DIRECTORY));
  EXPECT_EQ(Upload(WriteJob(job), nullptr, Quick(), nullptr, "vesta0\r\nDELE x"),
            static_cast<uint32_t>(ERR_DIRECTORY));

  EXPECT_EQ(Upload(WriteJob(job, std::string(248, 'n'))), 0u);
  ExpectSameBytes(Stored(std::string(248, 'n')), job);
  EXPECT_EQ(Upload(WriteJob(job, std::string(249, 'n'))), static_cast<uint32_t>(ERR_STORE));
  EXPECT_EQ(Upload(WriteJob(job, "a\rb")), static_cast<uint32_t>(ERR_STORE));
}

TEST_F(FtpTransfer, SessionListingAndDataPortWrap) {
  Start();
  quillon_test::WriteFileBytes(sim_->FtpFolder() + "/old.prn", "12345");
  FtpSession session(Quick().timeouts, 32000);
  ASSERT_EQ(session.Login(sim_->Address().c_str(), "", "", 0), 0u);
  ASSERT_EQ(session.ChangeDirectory("vesta0"), 0);
  ASSERT_EQ(session.List(), 0);  // 125 before the data, 226 after it
  EXPECT_EQ(session.DataPort(), 10000);
  EXPECT_GT(session.ListingBytes(), 0u);  // read to its end, and dropped
  ASSERT_EQ(session.List(), 0);
  EXPECT_EQ(session.DataPort(), 10001);
  EXPECT_EQ(session.ChangeDirectory("nowhere"), 2);
  EXPECT_EQ(session.SetBinary(), 0u);
}

TEST_F(FtpTransfer, SeveralTransfersAtOnce) {
  Start({"--verbose"});
  const std::string job = MakeJob(300000);
  std::vector<std::string> paths;
  for (int i = 0; i < 3; ++i) paths.push_back(WriteJob(job, "job" + std::to_string(i)));
  std::vector<uint32_t> results(3, 1);
  std::vector<std::thread> threads;
  // Each thread keeps its own outcome: the fixture's last result is one
  // object and would be written by all three at once.
  for (int i = 0; i < 3; ++i)
    threads.emplace_back([&, i] {
      results[i] = static_cast<uint32_t>(
          TransferFile(nullptr, sim_->Address().c_str(), "vesta0", paths[i].c_str(), Quick(), nullptr).code);
    });
  for (auto& t : threads) t.join();
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(results[i], 0u);
    ExpectSameBytes(Stored("job" + std::to_string(i)), job);
  }
  if (HasFailure()) std::cerr << sim_->Log();
}

namespace {

// A caller whose abort comes from a flag another thread sets, as the
// output thread's does; counts the questions of the waits.
class AbortFlag {
 public:
  const QUILLON_NotifyTarget* Target() const { return &target_; }
  void Abort() { abort_ = true; }
  int WaitQuestions() const { return waits_; }

 private:
  static intptr_t Proc(void* context, unsigned, uintptr_t wParam, intptr_t) {
    auto* self = static_cast<AbortFlag*>(context);
    if (wParam == NOTIFY_WAITING) ++self->waits_;
    return self->abort_ ? 1 : 0;
  }
  std::atomic<bool> abort_{false};
  std::atomic<int> waits_{0};
  QUILLON_NotifyTarget target_{&AbortFlag::Proc, this};
};

}  // namespace

TEST_F(FtpTransfer, AnAbortEndsEveryWaitWithinASecond) {
  // Each printer stops at its point until released, which comes only after
  // the test: the upload waits there (each wait far longer than a second)
  // when the caller asks for the abort.
  const std::vector<std::string> points = {"GREETING", "CWD", "LIST", "STOR", "STOR-END"};
  std::vector<std::string> printers;
  for (const std::string& p : points) printers.push_back("{\"holds\": [\"" + p + "\"]}");
  StartFleet(printers);
  const std::string path = WriteJob(MakeJob(300000));
  for (size_t i = 0; i < points.size(); ++i) {
    SCOPED_TRACE(points[i]);
    const std::string& address = At(i);
    TransferOptions o = Quick();
    o.timeouts.connectCycles = 1;  // one wait of 10 s for the greeting
    o.timeouts.connectCycleMs = 10000;
    AbortFlag caller;
    platform::Error result;
    std::chrono::steady_clock::time_point ended;
    std::thread upload([&] {
      result = TransferFile(caller.Target(), address.c_str(), "vesta0", path.c_str(), o);
      ended = std::chrono::steady_clock::now();
    });
    const bool held = sim_->WaitHeld(points[i], 1, address);
    const auto asked = std::chrono::steady_clock::now();
    caller.Abort();
    upload.join();
    ASSERT_TRUE(held);
    EXPECT_LT(ended - asked, std::chrono::milliseconds(1000));
    EXPECT_EQ(result.code, static_cast<int>(ERR_CANCELLED)) << result.detail;
    EXPECT_NE(result.detail.find("cancelled by the caller"), std::string::npos) << result.detail;
    EXPECT_GT(caller.WaitQuestions(), 0);
  }
  // The file was sent whole to the printer that held its final reply.
  EXPECT_EQ(quillon_test::ReadFileBytes(sim_->FtpFolder(sim_->Addresses().back()) + "/dwn1A2B.tmp"),
            MakeJob(300000));
  sim_->Release();
}

TEST_F(FtpTransfer, WaitsAskTheCallerEvery200MsAndGoOnWhenToldTo) {
  // The printer holds its greeting for about a second: the caller is asked
  // meanwhile, says "go on", and the upload ends well.
  Start({"--slow", "GREETING=1"});
  NotifyRecorder recorder(0, 0, 0);
  const std::string job = MakeJob(1000);
  ASSERT_EQ(Upload(WriteJob(job), &recorder), 0u) << last_.detail;
  EXPECT_GE(recorder.Count(NOTIFY_WAITING), 3);
  EXPECT_LE(recorder.Count(NOTIFY_WAITING), 8);
  ExpectSameBytes(Stored("dwn1A2B.tmp"), job);
  // Without a target nothing is asked and nothing cut.
  EXPECT_EQ(Upload(WriteJob(job, "second.tmp")), 0u);
}
