#pragma once
// The workstation's print spooler: the CUPS server named by CUPS_SERVER (or
// the system's default). Queue names, a queue's data, and raw jobs with
// their state. No CUPS type leaks out of this header.

#include <cstddef>
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

// One open queue: its data and one raw job at a time. Closing (destruction)
// cancels a job that was started and neither ended nor aborted.
class PrinterHandle {
 public:
  PrinterHandle();
  ~PrinterHandle();
  PrinterHandle(const PrinterHandle&) = delete;
  PrinterHandle& operator=(const PrinterHandle&) = delete;
  PrinterHandle(PrinterHandle&&) noexcept;
  PrinterHandle& operator=(PrinterHandle&&) noexcept;

  // Connects to the server and checks that the queue (or class) exists.
  bool Open(const std::string& name);
  bool IsOpen() const;
  void Close();
  const std::string& Name() const;

  // Reads the queue's data afresh; false when the server does not answer.
  bool GetData(SpoolerPrinterData& data);

  // Creates a job titled `title` and starts its one raw document.
  // Returns the job id, 0 on failure.
  int StartRawDoc(const std::string& title);
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

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  Error lastError_;
};

}  // namespace platform
