#include "core/command/DownloadJob.h"

#include <algorithm>
#include <filesystem>
#include <future>
#include <system_error>

#include "core/app/TextUtil.h"
#include "core/command/ResultMessages.h"
#include "core/history/DownloadHistory.h"
#include "core/history/DownloadLog.h"
#include "core/package/DownDocFile.h"
#include "core/transfer/PrintThread.h"
#include "netlib/quillon.h"
#include "platform/Spooler.h"

namespace quillon {
namespace {

// Paths as the operator typed them may be relative; the records keep
// where the file really was.
std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  std::error_code ec;
  const std::filesystem::path abs = std::filesystem::absolute(path, ec);
  return ec ? path : abs.lexically_normal().string();
}

}  // namespace

// Keeps what the output thread tells (it is the one producer) and passes
// it on to the front end's view.
class DownloadJob::Relay : public PrintSink {
 public:
  explicit Relay(PrintSink* next) : next_(next) {}

  void SetAction(int stringId) override {
    step_ = stringId;
    if (next_) next_->SetAction(stringId);
  }
  void SetProgressRange(int minimum, int maximum, int step) override {
    minimum_ = minimum;
    maximum_ = maximum > minimum ? maximum : minimum + 1;
    if (next_) next_->SetProgressRange(minimum, maximum, step);
  }
  void SetProgressPosition(int position) override {
    position_ = position;
    if (next_) next_->SetProgressPosition(position);
  }
  void SetProgressToMaximum() override {
    position_ = maximum_.load();
    if (next_) next_->SetProgressToMaximum();
  }
  void SetTotalBytes(std::uint32_t total) override {
    total_ = total;
    if (next_) next_->SetTotalBytes(total);
  }
  bool TransferNotified(std::uintptr_t wParam, std::intptr_t lParam) override {
    if (wParam == NOTIFY_PROGRESS) {
      const std::uint64_t done = static_cast<std::uint32_t>(lParam);
      const std::uint64_t total = total_ ? total_.load() : 1;
      const int percent = static_cast<int>(std::min<std::uint64_t>(done * 100u / total, 100u));
      position_ = minimum_ + (maximum_ - minimum_) * percent / 100;
    }
    const bool stop = next_ && next_->TransferNotified(wParam, lParam);
    return stop || killed_;
  }

  DownloadProgress Progress() const {
    DownloadProgress p;
    p.step = step_;
    const int lo = minimum_, hi = maximum_;
    p.percent = (std::clamp(position_.load(), lo, hi) - lo) * 100 / (hi - lo);
    p.totalBytes = total_;
    return p;
  }
  void Kill() { killed_ = true; }

 private:
  PrintSink* next_;
  std::atomic<int> step_{0};
  std::atomic<int> minimum_{0};
  std::atomic<int> maximum_{100};
  std::atomic<int> position_{0};
  std::atomic<std::uint32_t> total_{0};
  std::atomic<bool> killed_{false};
};

std::string DownloadJobResult::RecordError() const {
  std::string text;
  if (!logError.empty()) text = "DownLoad.log: " + logError;
  if (!historyError.empty()) text += (text.empty() ? "" : "; ") + historyError;
  return text;
}

std::string DownloadJobResult::Outcome() const {
  if (busy) return "busy";
  if (transfer.Succeeded()) return "succeeded";
  if (transfer.code == kJobAborted) return started ? "aborted" : "not_started";
  return "failed";
}

DownloadJob::DownloadJob(DownloadJobRequest request, PrintSink* sink)
    : request_(std::move(request)), relay_(std::make_unique<Relay>(sink)) {}

DownloadJob::~DownloadJob() {
  // A job dropped while it runs stops its transfer and waits for it.
  if (!finished_ && result_.started) {
    Kill();
    Finish();
  }
}

const std::string& DownloadJob::Printer() const {
  return request_.printer.empty() ? request_.transfer.printer : request_.printer;
}

void DownloadJob::ReleaseQueueHold() { queueHold_.reset(); }

DownloadProgress DownloadJob::Progress() const { return relay_->Progress(); }

bool DownloadJob::Start() {
  begin_ = std::chrono::steady_clock::now();
  result_.started = true;
  const PrinterLock::Outcome lock = lock_.Acquire(
      request_.printer.empty() ? request_.transfer.target : PrinterTarget::Of(request_.printer));
  if (lock != PrinterLock::Outcome::Taken) {
    // To the operator a printer another download is using is one that
    // cannot be opened.
    result_.busy = lock == PrinterLock::Outcome::Busy;
    result_.transfer = TransferResult();
    result_.transfer.code = kJobPrinterOpen;
    result_.transfer.detail = lock_.Detail();
    Record();
    finished_ = true;
    return false;
  }
  if (request_.runTransfer) {
    result_.transfer = request_.runTransfer(request_.transfer);
    return true;
  }
  std::lock_guard<std::mutex> guard(threadMutex_);
  thread_ = std::make_unique<TPrintThread>(request_.transfer, *relay_);
  thread_->WatchIntervalMs = request_.watchIntervalMs;
  thread_->PreparedJob = request_.preparedJob;
  // Told on the output thread, which has nothing left to do but end.
  QObject::connect(
      thread_.get(), &QThread::finished, thread_.get(),
      [this] {
        threadEnded_ = true;
        if (transferEnded_) transferEnded_();
      },
      Qt::DirectConnection);
  thread_->start();
  if (killed_) thread_->Abort();
  return true;
}

bool DownloadJob::Finished() const {
  if (finished_ || request_.runTransfer) return true;
  std::lock_guard<std::mutex> guard(threadMutex_);
  return !thread_ || threadEnded_ || thread_->isFinished();
}

const DownloadJobResult& DownloadJob::Finish() {
  if (finished_) return result_;
  {
    std::lock_guard<std::mutex> guard(threadMutex_);
    if (thread_) {
      thread_->wait();
      result_.transfer = thread_->Result();
      queueHold_ = thread_->TakeQueueHold();
      thread_.reset();
    }
  }
  lock_.Release();
  if (result_.transfer.duration.count() == 0)
    result_.transfer.duration = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - begin_);
  Record();
  finished_ = true;
  return result_;
}

const DownloadJobResult& DownloadJob::Run() {
  if (Start()) Finish();
  return result_;
}

const DownloadJobResult& DownloadJob::EndUnstarted(const std::string& why) {
  if (finished_ || result_.started) return result_;
  result_.transfer = TransferResult();
  result_.transfer.code = kJobAborted;
  result_.transfer.detail = why;
  Record();
  finished_ = true;
  return result_;
}

void DownloadJob::Kill() {
  killed_ = true;
  relay_->Kill();
  std::lock_guard<std::mutex> guard(threadMutex_);
  if (thread_) thread_->Abort();
}

void DownloadJob::Record() {
  const QDateTime when = request_.now ? request_.now() : QDateTime::currentDateTime();
  DownloadInputs in = request_.inputs;
  in.printer = Printer();
  // The two files are apart: each waits for its own sync beside the other.
  const auto writeLog = [&] { return WriteDownloadLogEntry(request_.logPath, when, in); };
  std::future<platform::Error> logged;
  if (result_.transfer.Succeeded()) {
    try {
      logged = std::async(std::launch::async, writeLog);
    } catch (const std::system_error&) {
      // No thread to spare: one after the other.
      logged = std::async(std::launch::deferred, writeLog);
    }
  }
  const platform::Error recorded =
      RecordDownloadAttempt(request_.historyPath, when, in, request_.transfer, request_.model,
                            result_.transfer, request_.versionBefore, &result_.historyRow,
                            request_.identitySource);
  if (logged.valid()) {
    const platform::Error log = logged.get();
    if (log.Failed()) result_.logError = log.detail;
  }
  if (recorded.Failed()) {
    result_.historyError = recorded.detail;
    result_.historyRow = -1;
  }
}

platform::Error WriteDownloadLogEntry(const std::string& logPath, const QDateTime& when,
                                      const DownloadInputs& in) {
  const std::string path = logPath.empty() ? DownloadCommandCore::DefaultLogPath() : logPath;
  return AppendDownloadLog(path, DownloadCommandCore::LogSection(when),
                           DownloadLogKey(AbsolutePath(in.packagePath), in.packageState),
                           in.printer + "," + in.port);
}

platform::Error RecordDownloadAttempt(const std::string& historyPath, const QDateTime& when,
                                      const DownloadInputs& in, const TransferRequest& request,
                                      const std::string& model, const TransferResult& result,
                                      const std::optional<std::string>& versionBefore,
                                      std::int64_t* rowId, const std::string& identitySource) {
  HistoryEntry e;
  e.time = when;
  e.user = CurrentUserName();
  e.packagePath = AbsolutePath(in.fileName.empty() ? in.packagePath : in.fileName);
  if (const TDownDocFile* package = request.package.get()) {
    e.sha256 = package->DataSha256();
    e.description = package->DownLoadDesc;
    e.version = package->DownLoadVersion;
  }
  e.printer = request.printer.empty() ? in.printer : request.printer;
  e.route = RouteName(RouteOfPrinter(e.printer));
  e.model = model;
  e.initItems = SettingsResetItems(request);
  e.result = result.code;
  e.detail = result.detail;
  if (!result.Succeeded() && e.detail.empty()) e.detail = ResultText(ResultMessage(result.code));
  e.bytesSent = static_cast<std::int64_t>(result.bytesSent);
  e.seconds = result.Seconds();
  e.versionBefore = versionBefore;
  if (!identitySource.empty()) e.identitySource = identitySource;
  return DownloadHistory(historyPath).Record(e, rowId);
}

}  // namespace quillon
