#include "core/transfer/PrintThread.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>

#include "core/app/Funcs.h"
#include "core/app/TextUtil.h"
#include "core/transfer/JobStream.h"
#include "core/transfer/PrintSink.h"
#include "netlib/quillon.h"
#include "platform/Spooler.h"
#include "platform/TempNames.h"
#include "platform/Text.h"
#include "platform/UniqueFd.h"
#include "resources/StringTable.h"

using quillon::BuildJobFile;
using quillon::LoadStr;
using quillon::PrinterTarget;
using quillon::TransferRequest;
using quillon::TransferResult;
using quillon::TransferResultCode;
using quillon::kJobAborted;
using quillon::kJobDone;
using quillon::kJobFileOpen;
using quillon::kJobPrintedWithErrors;
using quillon::kJobPrinterOpen;
using quillon::kJobSendFailed;
using quillon::kJobTempFile;

namespace {

constexpr std::size_t kBlockSize = 512;
constexpr std::size_t kSpoolRun = 64 * kBlockSize;
// Progress notifications reach the sink at most this often (the first and
// the last always): a person sees no more, and the window is spared.
constexpr auto kProgressPostInterval = std::chrono::milliseconds(30);

constexpr int kStrSendingToSpooler = 4130;
constexpr int kStrDownloading = 4131;
constexpr int kStrJobTitle = 4144;

using Clock = std::chrono::steady_clock;

class ReadFile {
 public:
  explicit ReadFile(const std::string& path) : fd_(platform::OpenRegularFile(path)) {}
  bool IsOpen() const { return fd_.ok(); }
  std::uint64_t Size() const {
    struct stat st {};
    return ::fstat(fd_.get(), &st) == 0 && st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  }
  // Fills the block up to size unless the file ends; -1 on a read error.
  long Read(char* block, std::size_t size) { return platform::ReadFull(fd_.get(), block, size); }

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

std::string LibraryDetail(int code) {
  char text[512] = {};
  QUILLON_GetLastErrorDetail(text, sizeof text);
  if (text[0] != '\0') return text;
  char hex[32];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
  return std::string("the network library answered ") + hex;
}

}  // namespace

TPrintThread::TPrintThread(TransferRequest request, quillon::PrintSink& sink, QObject* parent)
    : QThread(parent), request_(std::move(request)), sink_(sink) {}

TPrintThread::~TPrintThread() {
  Abort();
  wait();
  // A hold nobody took goes with the thread.
  queueHold_.reset();
}

std::unique_ptr<platform::QueueHold> TPrintThread::TakeQueueHold() { return std::move(queueHold_); }

void TPrintThread::run() { Execute(); }

void TPrintThread::Abort() {
  abort_ = true;
  requestInterruption();
}

bool TPrintThread::AbortRequested() const { return abort_ || isInterruptionRequested(); }

void TPrintThread::Fail(std::uint16_t code, std::string detail) {
  result_.code = code;
  result_.detail = std::move(detail);
}

void TPrintThread::Execute() {
  const Clock::time_point begin = Clock::now();
  result_ = TransferResult();
  try {
    // The job file goes on every path out of here, and is locked while it
    // lives: a later run's sweep takes it only once this process has gone.
    // One written ahead for the same stream is sent as it is.
    std::optional<platform::LockedTempFile> jobFile;
    std::string jobPath;
    std::uint32_t length = 0;
    const bool ahead =
        PreparedJob && PreparedJob->Take(request_.package.get(), request_.WithCommand(),
                                         request_.initItems, [this] { return AbortRequested(); },
                                         jobPath, length);
    // Stopped while the file written ahead was still being written.
    const bool stopped = PreparedJob && !ahead && AbortRequested();
    if (!ahead && !stopped) {
      jobFile.emplace("dwn");
      jobPath = jobFile->Path();
    }
    if (stopped) {
      Fail(kJobAborted, std::string());
    } else if (jobPath.empty()) {
      Fail(kJobTempFile, "no job file can be made in the temporary folder: " +
                             std::string(std::strerror(errno)));
    } else {
      if (!ahead)
        length = BuildJobFile(jobFile->Fd(), request_.package.get(), request_.WithCommand(),
                              request_.initItems);
      if (length == 0) {
        Fail(kJobTempFile, request_.package ? "the job file cannot be written: " +
                                                  std::string(std::strerror(errno))
                                            : "no package is open");
      } else {
        result_.jobBytes = length;
        sink_.SetProgressRange(0, 100, 1);
        sink_.SetTotalBytes(length);
        const PrinterTarget& target = request_.target;
        if (!target.Valid())
          Fail(kJobPrinterOpen, "\"" + request_.printer + "\" is not a printer address");
        else if (target.IsFtp())
          SendByFtp(target, jobPath);
        else
          SendBySpooler(target.Queue(), jobPath, length);
        // A send that failed once the abort was asked for (a spooler
        // request that failed meanwhile) was stopped by the operator.
        if (AbortRequested() && !result_.Succeeded() && result_.code != kJobAborted)
          Fail(kJobAborted, std::string());
      }
    }
  } catch (const std::exception& e) {
    Fail(kJobSendFailed, std::string("unexpected failure: ") + e.what());
  }
  if (result_.code == kJobAborted && result_.detail.empty())
    result_.detail = "aborted after " + std::to_string(result_.bytesSent) + " bytes";
  result_.duration = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin);
}

std::intptr_t TPrintThread::NotifyProc(void* context, unsigned int message,
                                       std::uintptr_t wParam, std::intptr_t lParam) {
  auto* self = static_cast<TPrintThread*>(context);
  if (!self || message != WM_TRANSFER_NOTIFY) return 0;
  return self->OnNotify(wParam, lParam);
}

std::intptr_t TPrintThread::OnNotify(std::uintptr_t wParam, std::intptr_t lParam) {
  // Answered here, on the output thread: the abort comes from a flag, and
  // the sink is told without anyone waiting for another thread.
  // A wait's question is answered from the flag alone: the sink has
  // nothing to show for it, and it comes every 200 ms.
  if (wParam == NOTIFY_WAITING) return AbortRequested() ? 1 : 0;
  if (wParam == NOTIFY_LOGGED_IN) loggedIn_ = true;
  bool post = true;
  if (wParam == NOTIFY_PROGRESS) {
    const std::uint64_t count = static_cast<std::uint32_t>(lParam);
    const Clock::time_point now = Clock::now();
    if (!sawFirstProgress_) {
      sawFirstProgress_ = true;
    } else {
      result_.bytesSent = count;
      post = count >= result_.jobBytes || now - lastProgressPost_ >= kProgressPostInterval;
    }
    if (post) lastProgressPost_ = now;
  }
  bool abort = AbortRequested();
  if (post && sink_.TransferNotified(wParam, lParam)) abort = true;
  if (abort) abort_ = true;
  return abort ? 1 : 0;
}

void TPrintThread::SendByFtp(const PrinterTarget& target, const std::string& jobFile) {
  const std::string host = target.HostPort();
  QUILLON_NotifyTarget notify{&TPrintThread::NotifyProc, this};
  loggedIn_ = false;
  const int r =
      QUILLON_FileTransfer(&notify, host.c_str(), target.Folder().c_str(), jobFile.c_str());
  // Asked to stop, a transfer that did not end well was stopped, however
  // the library put it (a library that waited out its bound says "no
  // reply"). The bytes notified so far stay as the ones handed over. A
  // confirmed whole upload stays a success: the printer loads it.
  if (r != 0 && AbortRequested()) {
    result_.code = kJobAborted;
    return;
  }
  result_.code = TransferResultCode(r, loggedIn_);
  if (r == 0) {
    result_.bytesSent = result_.jobBytes;
  } else if (result_.code != kJobAborted) {
    result_.detail = LibraryDetail(r);
  }
}

void TPrintThread::SendBySpooler(const std::string& target, const std::string& jobFile,
                                 std::uint32_t length) {
  // Every spooler request gives up once the abort is asked for.
  const platform::SpoolerAbort abort = [this] { return AbortRequested(); };
  // Closing the handle on the way out cancels a job left half sent.
  platform::PrinterHandle printer;
  printer.SetAbort(abort);
  if (!printer.Open(target)) {
    Fail(kJobPrinterOpen, "queue \"" + target + "\": " + printer.LastError().detail);
    return;
  }
  // A hold a killed run of ours left on the queue is cleared first.
  platform::ReleaseStaleHold(target, abort);
  auto hold = std::make_unique<platform::QueueHold>();
  hold->SetAbort(abort);
  sink_.SetAction(kStrSendingToSpooler);
  if (request_.holdQueue && !HoldQueue(*hold, target)) return;
  int jobId = 0;
  SpoolJob(printer, jobFile, jobId, hold->Active());
  if (result_.code == kJobDone) {
    sink_.SetProgressPosition(0);
    lastPercent_ = 0;
    sink_.SetAction(kStrDownloading);
    WatchJob(printer, jobId, length, hold.get());
  }
  if (!hold->Active()) return;
  if (result_.Succeeded() && request_.keepHoldAfterTransfer) {
    // Until the caller lets go, no job starts at all: not even one sent
    // with "no-hold" since the watch's last look. The backend replaced the
    // state message while the firmware printed.
    if (!hold->StopPrinter()) hold->ShowMessage();
    // The caller releases it, maybe after this thread has gone.
    hold->SetAbort(nullptr);
    queueHold_ = std::move(hold);
    return;
  }
  if (!hold->Release() && !result_.Succeeded())
    result_.detail += "; the queue \"" + target +
                      "\" could not be released: " + hold->LastError().detail;
}

bool TPrintThread::HoldQueue(platform::QueueHold& hold, const std::string& queue) {
  if (!hold.Begin(queue, platform::kFirmwareUpdateMessage)) {
    Fail(kJobPrinterOpen, "queue \"" + queue +
                              "\" cannot be held for the update, nothing was sent: " +
                              hold.LastError().detail + " (--no-hold sends without holding it)");
    return false;
  }
  // A job of others that prints now may finish; the firmware goes only
  // once the printer is free, and never behind a job that does not end.
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(HoldWaitMs);
  for (;;) {
    std::string title;
    const int printing = hold.HoldOthers(0, &title);
    if (printing == 0) return true;
    if (Terminated()) {
      hold.Release();
      Fail(kJobAborted, std::string());
      return false;
    }
    if (Clock::now() >= end) {
      hold.Release();
      const std::string waited = std::to_string(HoldWaitMs / 1000) + " s";
      Fail(kJobPrinterOpen,
           printing < 0 ? "the print server did not answer about queue \"" + queue + "\" for " +
                              waited + ", nothing was sent: " + platform::SpoolerLastError()
                        : "queue \"" + queue + "\" is busy: job " + std::to_string(printing) +
                              " (\"" + title + "\") was still printing after " + waited +
                              ", nothing was sent");
      return false;
    }
    Pause(std::min(200, std::max(1, HoldWaitMs / 10)));
  }
}

void TPrintThread::SpoolJob(platform::PrinterHandle& printer, const std::string& jobFile,
                            int& jobId, bool ahead) {
  ReadFile file(jobFile);
  if (!file.IsOpen()) {
    Fail(kJobFileOpen, "the job file cannot be opened: " + std::string(std::strerror(errno)));
    return;
  }
  jobId = printer.StartRawDoc(LoadStr(kStrJobTitle), ahead);
  if (jobId <= 0) {
    Fail(kJobSendFailed, "the print server refused the job: " + printer.LastError().detail);
    return;
  }
  const std::uint64_t total = file.Size();
  std::uint64_t read = 0;
  auto reader = std::make_unique<BlockReader>(file);
  std::string pending;
  pending.reserve(kSpoolRun);
  for (;;) {
    if (Terminated()) {
      printer.Abort();
      Fail(kJobAborted, std::string());
      return;
    }
    const char* block = nullptr;
    const long n = reader->Next(block);
    // A file that cannot be read to its end must not reach the printer
    // cut short.
    if (n < 0) {
      const int err = errno;
      printer.Abort();
      Fail(kJobSendFailed, "the job file cannot be read: " + std::string(std::strerror(err)));
      return;
    }
    // The blocks reach the server in runs: one call per 512 bytes costs
    // the spooler connection more than the sending itself.
    pending.append(block, static_cast<std::size_t>(n));
    if (pending.size() >= kSpoolRun || static_cast<std::size_t>(n) < kBlockSize) {
      if (!printer.WriteBlock(pending.data(), pending.size())) {
        const std::string why = printer.LastError().detail;
        printer.Abort();
        Fail(kJobSendFailed, "sending the job to the print server failed: " + why);
        return;
      }
      result_.bytesSent += pending.size();
      pending.clear();
    }
    SetPercent(read, total);
    read += static_cast<std::uint64_t>(n);
    if (static_cast<std::size_t>(n) < kBlockSize) {
      // The server refusing the document is a failed send, not a success.
      if (!printer.EndDoc()) {
        // The handle kept the document's own answer; the cancel after it
        // left another one as the thread's last error.
        Fail(kJobSendFailed, "the print server refused the finished job: " +
                                 printer.LastError().detail);
        return;
      }
      sink_.SetProgressToMaximum();
      lastPercent_ = 100;
      result_.code = kJobDone;
      return;
    }
  }
}

void TPrintThread::WatchJob(platform::PrinterHandle& printer, int jobId, std::uint32_t total,
                            platform::QueueHold* hold) {
  using platform::JobStatus;
  const int first = std::max(1, std::min(FirstWatchIntervalMs, WatchIntervalMs));
  int interval = first;
  Clock::time_point lastAnswer = Clock::now();
  Clock::time_point lastChange = lastAnswer;
  // The server's events tell the job's end; an ask for them costs the
  // server less than a job lookup, so they are asked for more often than
  // the job is polled.
  bool events = printer.WatchesJobEvents();
  for (;;) {
    platform::JobState state;
    if (events) {
      const Clock::time_point asked = Clock::now();
      const platform::JobEvent event = printer.NextJobEvent(state);
      if (event == platform::JobEvent::NotWatched) {
        events = false;
        if (!Terminated()) state = printer.QueryJob(jobId);
      } else if (event == platform::JobEvent::NoAnswer) {
        events = false;
      } else if (event == platform::JobEvent::None) {
        if (Clock::now() - asked < std::chrono::milliseconds(EventHoldMs)) {
          // The server did not hold the ask: ask again after a pause.
          const auto since =
              std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastChange);
          Pause(EventAskPauseMs(since, first, WatchIntervalMs));
        }
        state.status = JobStatus::Pending;  // nothing changed
      } else {
        // Something happened: the end often follows soon.
        lastChange = Clock::now();
      }
    } else {
      Pause(interval);
      // The job mostly leaves the queue within moments: poll soon, then back
      // off towards the full interval by a quarter each time, so the wait
      // after the job has ended stays under a quarter of its time so far
      // (doubling let it grow as long as the job itself).
      interval = std::min(WatchIntervalMs, interval + std::max(1, interval / 4));
      if (!Terminated()) state = printer.QueryJob(jobId);
    }
    if (Terminated()) {
      printer.CancelJob(jobId);
      Fail(kJobAborted, std::string());
      return;
    }
    if (state.status != JobStatus::NoAnswer) {
      lastAnswer = Clock::now();
      // Jobs sent with "no-hold" pass the queue's default: held as they
      // come (not asked of a server that has just not answered).
      if (hold && hold->Active()) hold->HoldOthers(jobId);
    }
    switch (state.status) {
      case JobStatus::Unknown:  // the job has left the queue
        sink_.SetProgressPosition(100);
        result_.code = kJobDone;
        return;
      case JobStatus::Completed:
        sink_.SetProgressToMaximum();
        result_.code = kJobDone;
        return;
      case JobStatus::Canceled:
      case JobStatus::Aborted:
        // Ended without being printed: never reported as success.
        Fail(kJobPrintedWithErrors, "job " + std::to_string(jobId) + " was " +
                                        (state.status == JobStatus::Canceled ? "cancelled"
                                                                             : "aborted") +
                                        " at the print server");
        return;
      case JobStatus::NoAnswer:
        if (Clock::now() - lastAnswer >= std::chrono::milliseconds(NoAnswerLimitMs)) {
          Fail(kJobSendFailed, "the print server has not answered about job " +
                                   std::to_string(jobId) + " for " +
                                   std::to_string(NoAnswerLimitMs / 1000) + " s: " +
                                   platform::SpoolerLastError());
          return;
        }
        break;
      default:
        // The job still waits or is being sent: watch on until it ends or
        // the operator aborts.
        if (state.kOctetsProcessed >= 0) {
          const std::uint64_t done = std::min<std::uint64_t>(
              static_cast<std::uint64_t>(state.kOctetsProcessed) * 1024u, total);
          SetPercent(done, total);
        }
        break;
    }
  }
}

int TPrintThread::EventAskPauseMs(std::chrono::milliseconds sinceChange, int firstMs,
                                  int watchMs) {
  // Asks are small: soon after a change they come often, so that the end
  // of a short job is seen within moments.
  const long long low = std::max(1, std::min(firstMs, 20));
  const long long high = std::max(low, static_cast<long long>(watchMs) / 4);
  const long long tenth = static_cast<long long>(sinceChange.count()) / 10;
  return static_cast<int>(std::min(high, std::max(low, tenth)));
}

void TPrintThread::Pause(int ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (!Terminated()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
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
