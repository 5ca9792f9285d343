#pragma once
#include <sys/types.h>

#include <map>
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
  // A fleet in one process: printers on 127.0.B.1 .. 127.0.B.count of a
  // block B no other simulator of this test uses (count at most 250).
  // printers maps a 0-based index to its --printer-config entry, a JSON
  // object such as {"model": "KV3", "version_after": "1.10"}.
  PrinterSimulator(int count, const std::vector<std::string>& args,
                   const std::map<int, std::string>& printers = {});
  // On exactly this address (127.0.0.1, ::1, ...), trying again for up to
  // waitSeconds while another process holds its ports; Ready() false when
  // it never came up.
  PrinterSimulator(const std::string& address, const std::vector<std::string>& args,
                   int waitSeconds);
  ~PrinterSimulator();
  PrinterSimulator(const PrinterSimulator&) = delete;
  PrinterSimulator& operator=(const PrinterSimulator&) = delete;

  bool Ready() const { return pid_ > 0; }
  const std::string& Address() const { return address_; }
  // Every address served, in order (one unless started as a fleet).
  const std::vector<std::string>& Addresses() const { return addresses_; }
  // Another loopback address that no simulator uses (127.0.5.N).
  std::string OtherAddress() const;
  const std::string& Root() const { return root_; }
  std::string FtpFolder() const { return root_ + "/ftp/vesta0"; }
  // A fleet printer's folder of received FTP files.
  std::string FtpFolder(const std::string& address) const {
    return root_ + "/hosts/" + address + "/ftp/vesta0";
  }
  // With --hold (or a fleet printer's "holds"): whether the simulator has
  // stopped at the point count times (only at address when one is given),
  // now or within ten seconds; Release() lets every hold go on.
  bool Held(const std::string& point, size_t count = 1, const std::string& address = "") const;
  bool WaitHeld(const std::string& point, size_t count = 1, const std::string& address = "") const;
  void Release() const;
  // Lines of reports.jsonl and console.jsonl (waits briefly for the
  // expected count, as the simulator writes after the connection ends).
  std::vector<std::string> Reports(size_t atLeast = 0) const;
  std::vector<std::string> ConsoleSessions(size_t atLeast = 0) const;
  // What the simulator wrote to its output (with --verbose, the dialogue).
  std::string Log() const;

 private:
  // listen is {"--address", A} or {"--addresses", RANGE}.
  bool Start(const std::vector<std::string>& listen, const std::vector<std::string>& args);
  void Stop();
  pid_t pid_ = -1;
  int octet_ = 0;
  std::string address_;
  std::vector<std::string> addresses_;
  std::string root_;
};

// A JSON report line's value for key, as raw text ("true", "123", "\"x\"").
std::string JsonField(const std::string& line, const std::string& key);
// The bytes of the job file a report line names ("" when it names none).
std::string ReceivedJob(const std::string& report);

}  // namespace quillon_test
