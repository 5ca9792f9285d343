#pragma once
// One download at a time per printer, across every copy of the program and
// the command-line front end of every user of this machine: a lock file
// per printer in a folder all users share, held with flock() for as long
// as the object lives. The kernel drops the lock when the process dies, so
// a crash never leaves a printer locked. Other machines are not covered.

#include <string>

#include "core/transfer/PrinterTarget.h"

namespace quillon {

class PrinterLock {
 public:
  PrinterLock() = default;
  ~PrinterLock();
  PrinterLock(const PrinterLock&) = delete;
  PrinterLock& operator=(const PrinterLock&) = delete;

  enum class Outcome {
    Taken,
    Busy,    // another download to the same printer holds it
    Failed,  // the lock file cannot be made or locked; Detail() says why
  };
  // Takes the printer's lock without waiting.
  Outcome Acquire(const PrinterTarget& printer);
  // Acquire() == Taken.
  bool TryAcquire(const PrinterTarget& printer) { return Acquire(printer) == Outcome::Taken; }
  // Why the last Acquire() did not take the lock.
  const std::string& Detail() const { return detail_; }
  void Release();
  bool Held() const { return fd_ >= 0; }

  // The lock file of a printer: LockFolder() + "/printer-" + SHA-256 of
  // its identity (PrinterTarget::Identity(): every spelling and folder of
  // one printer is one lock) + ".lock".
  static std::string LockPath(const PrinterTarget& printer);
  // $QUILLON_LOCK_DIR when set; else the first of /run/quillon,
  // /var/lock/quillon and /tmp/quillon-locks that is (or can be made) a
  // real folder every user may write to; else the user's runtime folder
  // + "/quillon" (then only this user's downloads are kept apart).
  static std::string LockFolder();
  // Makes path a folder for everybody's lock files (mode 1777) unless it
  // is one; false when it is a link, not a folder, or not writable to us.
  static bool UsableSharedFolder(const std::string& path);

 private:
  int fd_ = -1;
  std::string detail_;
};

}  // namespace quillon
