#pragma once
// One download in the background: builds the job file, sends it as a raw
// job through the spooler and follows the job until the printer has it, or
// hands it to the printer's FTP server through the network library. Leaves
// one result code in the application object's JobResult and nothing else.
// Abort: requestInterruption().

#include <QThread>

#include <cstdint>
#include <string>

class TPrintSink;
class TQUILLONApp;
namespace platform { class PrinterHandle; }

// Download result codes.
enum : std::uint16_t {
  kJobDone = 0,
  kJobFileOpen = 17,
  kJobTempFile = 18,
  kJobPrinterOpen = 32,
  kJobSendFailed = 33,
  kJobPrintedWithErrors = 34,
  kJobDirectory = 35,
  kJobAborted = 4096,
};

// Host and directory of an FTP target, the way the thread splits it: the
// directory follows the last "/", the host the "/" before it.
void SplitFtpTarget(const std::string& target, std::string& host, std::string& directory);

// The result code of a network library transfer result.
std::uint16_t TransferResultCode(int libraryResult);

class TPrintThread : public QThread {
  Q_OBJECT
 public:
  TPrintThread(TQUILLONApp& app, TPrintSink& sink, QObject* parent = nullptr);
  ~TPrintThread() override;

  // The body of the thread; run() calls it.
  void Execute();

  // Poll interval of the job watch (1000 ms; tests shorten it).
  int WatchIntervalMs = 1000;

 protected:
  void run() override;

 private:
  bool Terminated() const { return isInterruptionRequested(); }
  std::uint16_t SendByFtp(const std::string& target, const std::string& jobFile);
  std::uint16_t SendBySpooler(const std::string& target, const std::string& jobFile,
                              std::uint32_t length);
  std::uint16_t SpoolJob(platform::PrinterHandle& printer, const std::string& jobFile,
                         int& jobId);
  std::uint16_t WatchJob(platform::PrinterHandle& printer, int jobId, std::uint32_t total);
  // Waits up to ms, returning early when an abort is asked for.
  void Pause(int ms);
  void SetPercent(std::uint64_t done, std::uint64_t total);

  TQUILLONApp& app_;
  TPrintSink& sink_;
  int lastPercent_ = -1;
};
