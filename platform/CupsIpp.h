#pragma once
// Owned CUPS objects and the few IPP requests the spooler layer makes.
// Internal to platform/.

#include <cups/cups.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {
namespace cups {

struct HttpCloser { void operator()(http_t* h) const { if (h) httpClose(h); } };
struct IppDeleter { void operator()(ipp_t* i) const { if (i) ippDelete(i); } };
using Http = std::unique_ptr<http_t, HttpCloser>;
using Ipp = std::unique_ptr<ipp_t, IppDeleter>;

// What cuts the waits of a connection short: true once the caller has
// been asked to stop. Checked at least every kAbortSliceMs while a
// connect, read or write waits. Empty: never.
using AbortCheck = std::function<bool()>;
constexpr int kAbortSliceMs = 200;

// How long a wait of a connection may go without progress.
struct WaitBounds {
  int connectMs = 5000;
  int idleMs = 15000;
  // Once the abort has been asked for: the connection gives up at once
  // (-1), or, for the clean-up after an abort (cancel, release), still
  // waits this long.
  int afterAbortMs = -1;
};

// The bound of a clean-up request sent once the abort has been asked for:
// a server that answers takes it, one that hangs is not waited for.
constexpr int kCleanupAfterAbortMs = 1000;

// One connection to the print server with the state its wait callback
// reads (owned together, so the callback never outlives it).
class Connection {
 public:
  struct Wait;
  Connection();
  Connection(std::unique_ptr<Wait> wait, http_t* http);
  ~Connection();
  Connection(Connection&&) noexcept;
  Connection& operator=(Connection&&) noexcept;

  http_t* get() const { return http_.get(); }
  explicit operator bool() const { return http_ != nullptr; }
  void reset();
  // Whether a wait of this connection gave up because of the abort.
  bool CutByAbort() const;

 private:
  std::unique_ptr<Wait> wait_;  // freed after the connection closes
  std::unique_ptr<http_t, HttpCloser> http_;
};

// Connects to the server that CUPS_SERVER (or the client configuration)
// names. The connect and every later read or write are bounded in time
// and cut by `abort`.
Connection Connect(const AbortCheck& abort = {}, WaitBounds bounds = {});
// A connection for the clean-up after an abort (cancel a job, release a
// queue): bounded by kCleanupAfterAbortMs once the abort is asked for.
Connection ConnectForCleanup(const AbortCheck& abort);

// "ipp://localhost/printers/NAME" (or /classes/) and the matching resource.
std::string QueueUri(const std::string& name, bool isClass);
std::string QueueResource(const std::string& name, bool isClass);
std::string JobUri(int jobId);

// A new request with the requesting user set.
Ipp NewRequest(ipp_op_t op);

// Sends the request and returns the response (null when there was none).
// The request is consumed.
Ipp Do(http_t* http, Ipp request, const char* resource);

// Status of a response; IPP_STATUS_ERROR_INTERNAL for a missing one.
ipp_status_t StatusOf(ipp_t* response);
bool Succeeded(ipp_t* response);

// Text of an attribute (the first value; "" when absent).
std::string Text(ipp_t* ipp, const char* name);
int Integer(ipp_t* ipp, const char* name, int fallback);

// The attributes of one printer group of a response, as the spooler layer
// reads them.
struct PrinterAttributes {
  std::string name;          // printer-name
  std::string makeAndModel;  // printer-make-and-model
  std::string deviceUri;     // device-uri
  std::string location;      // printer-location
  std::string info;          // printer-info
  int type = 0;              // printer-type bits
  std::vector<std::string> members;  // member-names of a class
};

// Every printer group of a response, in its order.
std::vector<PrinterAttributes> PrinterGroups(ipp_t* response);

// While it lives, a server that wants a password for a request of this
// thread gets none and refuses: no prompt on a terminal, and the refusal
// is told as the request's failure. CUPS keeps the callback per thread.
class NoPasswordPrompt {
 public:
  NoPasswordPrompt();
  ~NoPasswordPrompt();
  NoPasswordPrompt(const NoPasswordPrompt&) = delete;
  NoPasswordPrompt& operator=(const NoPasswordPrompt&) = delete;
};

// Requests sent through Do or started by the caller (CountRequest), and
// connections made by Connect, in this process.
void CountRequest();
long long RequestCount();
long long ConnectionCount();

}  // namespace cups
}  // namespace platform
