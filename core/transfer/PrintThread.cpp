#include "core/transfer/PrintThread.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <exception>
#include <memory>

#include "core/app/Funcs.h"
#include "core/app/QuillonApp.h"
#include "core/app/TextUtil.h"
#include "core/transfer/JobStream.h"
#include "core/transfer/PrintSink.h"
#include "netlib/quillon.h"
#include "platform/Spooler.h"
#include "platform/TempNames.h"
#include "platform/UniqueFd.h"
#include "resources/StringTable.h"
#include "platform/Text.h"

namespace {

constexpr std::size_t kBlockSize = 512;
constexpr std::size_t kTargetMax = 511;
constexpr std::size_t kSpoolRun = 64 * kBlockSize;

constexpr int kStrSendingToSpooler = 4130;
constexpr int kStrDownloading = 4131;
constexpr int kStrJobTitle = 4144;

class ReadFile {
 public:
  explicit ReadFile(const std::string& path) : fd_(platform::OpenRegularFile(path)) {}
  bool IsOpen() const { return fd_.ok(); }
  std::uint64_t Size() const {
    struct stat st {};
    return ::fstat(fd_.get(), &st) == 0 && st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  }
  // Fills the block up to size unless the file ends; -1 on a read error.
  long Read(char* block, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
      const ssize_t n = ::read(fd_.get(), block + got, size - got);
      if (n < 0) {
        if (errno == EINTR) continue;
        return -1;
      }
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    return static_cast<long>(got);
  }

 private:
  platform::UniqueFd fd_;
};

// Hands out the file in blocks of kBlockSize (a short one only at its end),
// reading it in larger pieces to spare system calls.
class BlockReader {
 public:
  explicit BlockReader(ReadFile& file) : file_(file) {}
  // The next block and its length (0 at the end), or -1 on a read error.
  long Next(const char*& block) {
    if (at_ == filled_) {
      if (ended_) {
        block = buffer_;
        return 0;
      }
      const long n = file_.Read(buffer_, sizeof buffer_);
      if (n < 0) return -1;
      filled_ = static_cast<std::size_t>(n);
      at_ = 0;
      ended_ = filled_ < sizeof buffer_;
    }
    block = buffer_ + at_;
    const std::size_t n = std::min(kBlockSize, filled_ - at_);
    at_ += n;
    return static_cast<long>(n);
  }

 private:
  ReadFile& file_;
  char buffer_[128 * kBlockSize];
  std::size_t filled_ = 0;
  std::size_t at_ = 0;
  bool ended_ = false;
};

}  // namespace

void SplitFtpTarget(const std::string& target, std::string& host, std::string& directory) {
  std::string rest = target;
  const std::size_t slash = rest.rfind('/');
  if (slash == std::string::npos) {
    directory.clear();
  } else {
    directory = rest.substr(slash + 1);
    rest.resize(slash);
  }
  const std::size_t before = rest.rfind('/');
  host = before == std::string::npos ? rest : rest.substr(before + 1);
}

std::uint16_t TransferResultCode(int libraryResult) {
  switch (libraryResult) {
    case 0: return kJobDone;
    case ERR_DIRECTORY: return kJobDirectory;
    case ERR_FILE_READ: return kJobTempFile;
    case ERR_CANCELLED: return kJobAborted;
    default: return kJobSendFailed;
  }
}

TPrintThread::TPrintThread(TQUILLONApp& app, TPrintSink& sink, QObject* parent)
    : QThread(parent), app_(app), sink_(sink) {}

TPrintThread::~TPrintThread() {
  requestInterruption();
  wait();
}

void TPrintThread::run() { Execute(); }

void TPrintThread::Execute() {
  std::uint16_t result = kJobSendFailed;
  try {
    std::string jobPath;
    if (!MakeTempFileName("dwn", jobPath)) {
      app_.JobResult = kJobTempFile;
      return;
    }
    // The job file goes on every path out of here.
    platform::TempPath jobFile(jobPath);
    // The model is asked only when the setting allows the command at all.
    const bool allowed = app_.EnableCommand != 0 && app_.ModelFlag(app_.SelectedPrinter) != 0;
    const std::uint32_t length =
        BuildJobFile(jobPath.c_str(), app_.Package.get(), allowed, app_.InitItems);
    if (length == 0) {
      result = kJobTempFile;
    } else {
      sink_.SetProgressRange(0, 100, 1);
      sink_.SetTotalBytes(length);
      const std::string target(Utf8Cut(app_.SelectedPrinter, kTargetMax));
      if (platform::IsFtpPrinterName(target))
        result = SendByFtp(target, jobPath);
      else
        result = SendBySpooler(target, jobPath, length);
    }
  } catch (const std::exception&) {
    result = kJobSendFailed;
  }
  app_.JobResult = result;
}

std::uint16_t TPrintThread::SendByFtp(const std::string& target, const std::string& jobFile) {
  std::string host, directory;
  SplitFtpTarget(target, host, directory);
  const int r = QUILLON_FileTransfer(sink_.NotifyTarget(), host.c_str(), directory.c_str(),
                                     jobFile.c_str());
  return TransferResultCode(r);
}

std::uint16_t TPrintThread::SendBySpooler(const std::string& target, const std::string& jobFile,
                                          std::uint32_t length) {
  // Closing the handle on the way out cancels a job left half sent.
  platform::PrinterHandle printer;
  if (!printer.Open(target)) return kJobPrinterOpen;
  sink_.SetAction(kStrSendingToSpooler);
  int jobId = 0;
  const std::uint16_t sent = SpoolJob(printer, jobFile, jobId);
  if (sent != kJobDone) return sent;
  sink_.SetProgressPosition(0);
  lastPercent_ = 0;
  sink_.SetAction(kStrDownloading);
  return WatchJob(printer, jobId, length);
}

std::uint16_t TPrintThread::SpoolJob(platform::PrinterHandle& printer,
                                     const std::string& jobFile, int& jobId) {
  ReadFile file(jobFile);
  if (!file.IsOpen()) return kJobFileOpen;
  jobId = printer.StartRawDoc(LoadStr(kStrJobTitle));
  if (jobId <= 0) return kJobSendFailed;
  const std::uint64_t total = file.Size();
  std::uint64_t sent = 0;
  auto reader = std::make_unique<BlockReader>(file);
  std::string pending;
  pending.reserve(kSpoolRun);
  for (;;) {
    if (Terminated()) {
      printer.Abort();
      return kJobAborted;
    }
    const char* block = nullptr;
    const long n = reader->Next(block);
    // A file that cannot be read to its end must not reach the printer
    // cut short.
    if (n < 0) {
      printer.Abort();
      return kJobSendFailed;
    }
    // The blocks reach the server in runs: one call per 512 bytes costs
    // the spooler connection more than the sending itself.
    pending.append(block, static_cast<std::size_t>(n));
    if (pending.size() >= kSpoolRun || static_cast<std::size_t>(n) < kBlockSize) {
      if (!printer.WriteBlock(pending.data(), pending.size())) {
        printer.Abort();
        return kJobSendFailed;
      }
      pending.clear();
    }
    SetPercent(sent, total);
    sent += static_cast<std::uint64_t>(n);
    if (static_cast<std::size_t>(n) < kBlockSize) {
      // The server refusing the document is a failed send, not a success.
      if (!printer.EndDoc()) return kJobSendFailed;
      sink_.SetProgressToMaximum();
      lastPercent_ = 100;
      return kJobDone;
    }
  }
}

std::uint16_t TPrintThread::WatchJob(platform::PrinterHandle& printer, int jobId,
                                     std::uint32_t total) {
  using platform::JobStatus;
  for (;;) {
    Pause(WatchIntervalMs);
    if (Terminated()) {
      printer.CancelJob(jobId);
      return kJobAborted;
    }
    const platform::JobState state = printer.QueryJob(jobId);
    switch (state.status) {
      case JobStatus::Unknown:  // the job has left the queue
        sink_.SetProgressPosition(100);
        return kJobDone;
      case JobStatus::Completed:
        sink_.SetProgressToMaximum();
        return kJobDone;
      case JobStatus::Canceled:
      case JobStatus::Aborted:
        // Ended without being printed: never reported as success.
        return kJobPrintedWithErrors;
      default:
        // No answer, or the job still waits or is being sent: watch on
        // until it ends or the operator aborts.
        if (state.kOctetsProcessed >= 0) {
          const std::uint64_t done = std::min<std::uint64_t>(
              static_cast<std::uint64_t>(state.kOctetsProcessed) * 1024u, total);
          SetPercent(done, total);
        }
        break;
    }
  }
}

void TPrintThread::Pause(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!Terminated()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          end - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return;
    QThread::msleep(static_cast<unsigned long>(std::min<long long>(left, 20)));
  }
}

void TPrintThread::SetPercent(std::uint64_t done, std::uint64_t total) {
  const int percent = total ? static_cast<int>(done * 100u / total) : 0;
  // The bar moves once per percent, not once per block.
  if (percent == lastPercent_) return;
  lastPercent_ = percent;
  sink_.SetProgressPosition(percent);
}
