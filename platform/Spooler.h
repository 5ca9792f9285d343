#pragma once
// The workstation's print spooler: the CUPS server named by CUPS_SERVER (or
// the system's default). Queue names, a queue's data, and raw jobs with
// their state. No CUPS type leaks out of this header.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace platform {

// Names of the local queues, classes and remote queues in the order the
// server lists them. Empty when the server cannot be reached; the
// connection wait is bounded, so this never hangs.
std::vector<std::string> EnumPrinterNames();

// What the spooler knows of one queue.
struct SpoolerPrinterData {
  std::string name;      // queue name
  std::string driver;    // printer-make-and-model
  std::string ports;     // device-uri; for a class its members' URIs joined by ","
  std::string location;  // printer-location
  std::string comment;   // printer-info
  bool local = false;    // not a remote queue
};

// Every queue's data in one request, in the order of EnumPrinterNames (a
// class's ports come from its members listed in the same answer). False,
// with the list unchanged, when the server cannot be asked.
bool ListPrinterData(std::vector<SpoolerPrinterData>& list);

// Requests this process has sent to the spooler and connections it has
// opened so far: a debug count for the benchmarks and tests.
struct SpoolerTraffic {
  long long requests = 0;
  long long connections = 0;
};
SpoolerTraffic SpoolerTrafficSoFar();

// The LPT number 1..9 a single port text stands for, else 0: the names
// LPT1: .. LPT9: (letter case ignored) and "parallel:/dev/lpN" with
// N = 0..8 (LPT N+1). The caller passes the first port of the list.
int LptNumberOfPort(const std::string& port);

// The first entry of a port list as a tokenizer on "," sees it (leading
// separators skipped), and whether a second entry follows it.
std::string FirstPort(const std::string& ports, bool* multiple = nullptr);

enum class JobStatus {
  NoAnswer,    // the server could not be asked (unreachable, timed out)
  Unknown,     // the server does not know the job (never was, or purged)
  Pending,
  Held,
  Processing,
  Stopped,
  Canceled,
  Aborted,
  Completed,
};

struct JobState {
  JobStatus status = JobStatus::NoAnswer;
  // Kilobytes the printer has taken, or -1 when the server does not say
  // (CUPS 2.4 never fills job-k-octets-processed).
  long long kOctetsProcessed = -1;
  std::string title;  // job-name
  bool Known() const { return status != JobStatus::Unknown && status != JobStatus::NoAnswer; }
  // Canceled, aborted or completed: the job will not change any more.
  bool Finished() const {
    return status == JobStatus::Canceled || status == JobStatus::Aborted ||
           status == JobStatus::Completed;
  }
};

// The print server's own text for the last failed request of the calling
// thread (CUPS keeps it per thread), for a failure's detail. A handle's
// own failures are better read from PrinterHandle::LastError: a clean-up
// request after a failure replaces this text.
std::string SpoolerLastError();

// True once the caller has been asked to stop: a spooler request that
// waits for the server gives up within about 200 ms of it.
using SpoolerAbort = std::function<bool()>;

// What the job's events said since the last ask (PrinterHandle::NextJobEvent).
enum class JobEvent {
  Changed,     // the job changed; the state is the one the last event told
  None,        // nothing happened (a server that does not hold the ask)
  NotWatched,  // no subscription (refused, ignored, or ended: a server
               // may end it with the job, its last event unasked): ask QueryJob
  NoAnswer,    // the server did not answer within the bound (or the abort)
};

// One open queue: its data and one raw job at a time. Closing (destruction)
// cancels a job that was started and neither ended nor aborted, and the
// subscription to its events.
class PrinterHandle {
 public:
  PrinterHandle();
  ~PrinterHandle();
  PrinterHandle(const PrinterHandle&) = delete;
  PrinterHandle& operator=(const PrinterHandle&) = delete;
  PrinterHandle(PrinterHandle&&) noexcept;
  PrinterHandle& operator=(PrinterHandle&&) noexcept;

  // Every request of this handle gives up once `abort` says so, also in
  // the middle of a wait; the cancel that follows an abort is still sent,
  // bounded by a second. Set it before Open (each connection takes it
  // when it is made).
  void SetAbort(SpoolerAbort abort);

  // Connects to the server and checks that the queue (or class) exists.
  bool Open(const std::string& name);
  bool IsOpen() const;
  void Close();
  const std::string& Name() const;

  // Reads the queue's data afresh; false when the server does not answer.
  bool GetData(SpoolerPrinterData& data);

  // Creates a job titled `title` and starts its one raw document.
  // Returns the job id, 0 on failure. `ahead`: the job is never held by
  // the queue's default and goes before the jobs waiting in it (what a
  // queue held for a firmware update needs of the firmware job). The job
  // asks the server for a subscription to its events (pull delivery).
  int StartRawDoc(const std::string& title, bool ahead = false);
  // Sends one block of the document (the caller sends 512-byte blocks).
  // A block of 0 bytes is accepted and sends nothing.
  bool WriteBlock(const void* data, std::size_t size);
  // Finishes the document; the job then belongs to the server.
  bool EndDoc();
  // Discards the document being sent and cancels its job.
  bool Abort();
  int CurrentJobId() const;
  // Why the last Open, StartRawDoc, WriteBlock or EndDoc of this handle
  // failed: the IPP status and the print server's own text of the request
  // that failed, kept from before any cancel that followed it.
  const Error& LastError() const;

  // State of any job of this server, asked afresh.
  JobState QueryJob(int jobId);
  // Cancels a job by id; true when the server accepted (also for a job that
  // had already ended).
  bool CancelJob(int jobId);

  // Whether the server took the subscription to the current job's events.
  bool WatchesJobEvents() const;
  // The current job's events since the last ask. The server is asked to
  // hold the ask until an event comes (bounded by the request's own time
  // limit, cut by the abort); one that does not hold answers at once.
  // On Changed, `state` holds the job's state as the last event told it
  // (no byte count). After NotWatched or NoAnswer no more events are
  // asked for; the subscription is still cancelled at the end.
  JobEvent NextJobEvent(JobState& state);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  Error lastError_;
  SpoolerAbort abort_;
};

// A queue held while its printer's firmware is updated. While it holds,
// the queue keeps accepting jobs but none of them reaches the printer:
// new jobs are held as they arrive (the queue's job-hold-until default
// becomes "indefinite"; the update's own job opts out), the jobs already
// waiting are held one by one, and the queue says hold-new-jobs with the
// state message. Hold-New-Jobs alone is not enough: the server still
// starts the jobs waiting in the queue as soon as the printing one ends.
// Release (or destruction) undoes all of it and releases exactly the jobs
// the hold kept back. A process killed while holding leaves the marks
// (hold-new-jobs with the "indefinite" default); ReleaseStaleHold clears
// them.
class QueueHold {
 public:
  QueueHold() = default;
  ~QueueHold();
  QueueHold(const QueueHold&) = delete;
  QueueHold& operator=(const QueueHold&) = delete;

  // Begin, HoldOthers, ShowMessage and StopPrinter give up once `abort`
  // says so; Release still runs after it, each request bounded by a
  // second then.
  void SetAbort(SpoolerAbort abort) { abort_ = std::move(abort); }

  // Holds the queue, showing `message` as its state message. False, with
  // LastError and nothing left changed, when the server refuses any step
  // (holding others' jobs needs the server's operator rights; no password
  // is asked for them).
  bool Begin(const std::string& queue, const std::string& message);
  bool Active() const { return active_; }
  const std::string& Queue() const { return queue_; }
  // Holds every job of the queue that waits to print, except ownJob; call
  // it again and again while holding (a job sent with "no-hold" is not
  // held by the default). Returns the job of others now printing (0 for
  // none) with its title; -1 when the server could not be asked.
  int HoldOthers(int ownJob, std::string* printingTitle = nullptr);
  // Shows the state message again (the backend replaces it while a job
  // prints).
  void ShowMessage();
  // Once the firmware job has ended: stops the printer itself (the queue
  // goes on taking jobs), so that no job starts before Release, also not
  // one sent with "no-hold" after the last HoldOthers. Shows the message.
  // False when the server refuses (the hold goes on without it).
  bool StopPrinter();
  // Undoes the hold and releases the jobs it kept back; harmless when not
  // holding. Not cut by an abort: each request is bounded by the spooler
  // layer's own time limits, and by a second once the abort was asked for
  // (a server that hangs then keeps the marks for ReleaseStaleHold).
  // False when a step failed (LastError).
  bool Release();
  // Jobs this hold has held so far (those held as they arrived are found
  // at the release).
  const std::vector<int>& HeldJobs() const { return held_; }
  const Error& LastError() const { return lastError_; }

 private:
  bool active_ = false;
  bool isClass_ = false;
  bool stopped_ = false;  // StopPrinter stopped it
  std::string queue_;
  std::string message_;
  std::string savedDefault_;  // job-hold-until-default before the hold
  int lastJobBefore_ = 0;     // jobs with a higher id came during the hold
  std::vector<int> held_;
  Error lastError_;
  SpoolerAbort abort_;
};

// The text a queue held for an update shows (and the mark of the hold).
extern const char kFirmwareUpdateMessage[];

// Clears a hold a run of this program left on `queue` when it ended
// without releasing it (killed): true when one was found and released. A
// printer it stopped (stopped, showing kFirmwareUpdateMessage) goes on.
// The jobs that hold kept back stay held; the README tells how to release
// them.
bool ReleaseStaleHold(const std::string& queue, const SpoolerAbort& abort = {});

// Whether the queue shows the marks of a hold: hold-new-jobs, the
// "indefinite" default, and the state message it has now.
struct QueueHoldState {
  bool known = false;  // the server answered
  bool holdingNewJobs = false;
  bool holdByDefault = false;  // job-hold-until-default is "indefinite"
  bool accepting = false;
  bool stopped = false;  // printer-state "stopped"
  std::string message;
};
QueueHoldState QueryHoldState(const std::string& queue, const SpoolerAbort& abort = {});

}  // namespace platform
