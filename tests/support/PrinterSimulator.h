#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace quillon_test {

// The printer simulator (tools/printer_sim.py) in a child process of the
// test, on a loopback address of its own; stopped when the object goes.
class PrinterSimulator {
 public:
  // Starts on a free 127.0.4.N with the given extra arguments; Ready()
  // tells whether it came up within ten seconds.
  explicit PrinterSimulator(const std::vector<std::string>& args = {});
  ~PrinterSimulator();
  PrinterSimulator(const PrinterSimulator&) = delete;
  PrinterSimulator& operator=(const PrinterSimulator&) = delete;

  bool Ready() const { return pid_ > 0; }
  const std::string& Address() const { return address_; }
  // Another loopback address that no simulator uses (127.0.5.N).
  std::string OtherAddress() const;
  const std::string& Root() const { return root_; }
  std::string FtpFolder() const { return root_ + "/ftp/vesta0"; }
  // Lines of reports.jsonl and console.jsonl (waits briefly for the
  // expected count, as the simulator writes after the connection ends).
  std::vector<std::string> Reports(size_t atLeast = 0) const;
  std::vector<std::string> ConsoleSessions(size_t atLeast = 0) const;
  // What the simulator wrote to its output (with --verbose, the dialogue).
  std::string Log() const;

 private:
  bool Start(const std::string& address, const std::vector<std::string>& args);
  void Stop();
  pid_t pid_ = -1;
  int octet_ = 0;
  std::string address_;
  std::string root_;
};

// A JSON report line's value for key, as raw text ("true", "123", "\"x\"").
std::string JsonField(const std::string& line, const std::string& key);
// The bytes of the job file a report line names ("" when it names none).
std::string ReceivedJob(const std::string& report);

}  // namespace quillon_test
