#pragma once
// One download at a time per printer, across every copy of the program and
// the command-line front end: a lock file per printer in the user's runtime
// folder, held with flock() for as long as the object lives. The kernel
// drops the lock when the process dies, so a crash never leaves a printer
// locked.

#include <string>

class TPrinterLock {
 public:
  TPrinterLock() = default;
  ~TPrinterLock();
  TPrinterLock(const TPrinterLock&) = delete;
  TPrinterLock& operator=(const TPrinterLock&) = delete;

  enum class Outcome {
    Taken,
    Busy,    // another download to the same printer holds it
    Failed,  // the lock file cannot be made or locked; Detail() says why
  };
  // Takes the printer's lock without waiting.
  Outcome Acquire(const std::string& printer);
  // Acquire() == Taken.
  bool TryAcquire(const std::string& printer) { return Acquire(printer) == Outcome::Taken; }
  // Why the last Acquire() did not take the lock.
  const std::string& Detail() const { return detail_; }
  void Release();
  bool Held() const { return fd_ >= 0; }

  // What names a printer for the lock: the lower-cased host of an FTP
  // address (its folder does not make another printer), else the
  // lower-cased queue name (the spooler ignores letter case).
  static std::string Key(const std::string& printer);
  // The lock file of a printer: XDG_RUNTIME_DIR (or Qt's runtime folder)
  // + "/quillon/printer-" + SHA-256 of the key + ".lock".
  static std::string LockPath(const std::string& printer);

 private:
  int fd_ = -1;
  std::string detail_;
};
