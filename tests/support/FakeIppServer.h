#pragma once
// A print server that answers from a script: on a socket of its own, one
// IPP answer per operation (status and status-message), so a test can make
// one request fail with a text of its choosing and see whose text is told.

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillon_test {

class FakeIppServer {
 public:
  struct Reply {
    int status = 0;            // IPP status code; 0 is successful-ok
    std::string message;       // status-message; empty: none
  };
  FakeIppServer();
  ~FakeIppServer();
  FakeIppServer(const FakeIppServer&) = delete;
  FakeIppServer& operator=(const FakeIppServer&) = delete;

  // The socket's path, for CUPS_SERVER or cupsSetServer.
  const std::string& Path() const { return path_; }
  bool Ready() const { return listenFd_ >= 0; }
  // How the operation `op` (an ipp_op_t) is answered from now on. Not set:
  // success. Every answer carries job-id 7, job-state "canceled" and the
  // printer-name and printer-type of a plain queue.
  void SetReply(int op, Reply reply);
  // A streamed request (the document of a job: chunked, of no length
  // given) is refused at its headers with this HTTP status, before any of
  // its body is read; 0: taken as any other.
  void RefuseStreamedRequests(int httpStatus);
  // Requests of operation `op` (kEveryOperation: all of them) are read
  // and never answered, until the server ends: a peer that hangs.
  static constexpr int kEveryOperation = -1;
  void HoldAnswersTo(int op);
  // A streamed request (a document) is taken up to its headers and then
  // not read any more: the sender's writes stall once the socket is full.
  void StallStreamedRequests();
  // Create-Job answers carry a subscription (id 3) to the job's events;
  // Get-Notifications answers carry `events` job-state values for job 7,
  // one event each, numbered from 1. Off by default: subscriptions ignored.
  void OfferSubscriptions(std::vector<int> jobStates);
  // The operations received so far, in order.
  std::vector<int> Operations() const;

 private:
  void Serve();
  void Talk(int fd);

  std::string dir_;
  std::string path_;
  int listenFd_ = -1;
  int stopFd_[2] = {-1, -1};
  mutable std::mutex mutex_;
  std::map<int, Reply> answers_;
  std::vector<int> operations_;
  std::vector<int> clients_;
  int refuseStreamed_ = 0;
  std::vector<int> held_;
  bool stallStreamed_ = false;
  bool subscriptions_ = false;
  std::vector<int> eventStates_;
  void WaitForStop() const;
  std::thread thread_;
};

}  // namespace quillon_test
