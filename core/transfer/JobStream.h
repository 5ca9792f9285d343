#pragma once
// The job file sent to the printer: for models that take it, the firmware
// data wrapped in the download command (job-language preamble and the data
// length) and followed by the restart command that names the settings to
// reset; otherwise the bare data.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/TempNames.h"

class TDownDocFile;

namespace quillon {

// The 52 bytes that switch the printer into program-download mode.
extern const char kJobPreamble[];
constexpr std::size_t kJobPreambleSize = 52;
// "Uf" + 8 digits + ",0*" and "Ug,1," + digit + "*".
constexpr std::size_t kLengthCommandSize = 13;
constexpr std::size_t kRestartCommandSize = 7;

// The download command for dataSize bytes ("Uf01234567,0*").
std::string LengthCommand(std::uint32_t dataSize);
// The restart command for the initialisation items 0..7 ("Ug,1,1*").
std::string RestartCommand(std::uint32_t initItems);

// Writes the job stream into the existing file at path (its old contents
// are replaced) and returns its length; 0 when the path or the document is
// missing, the file cannot be opened or written, or the stream is empty.
std::uint32_t BuildJobFile(const char* path, const TDownDocFile* doc, bool commandAllowed,
                           std::uint32_t initItems);
// The same into a file open for writing that the caller holds (and has
// locked), from its start.
std::uint32_t BuildJobFile(int fd, const TDownDocFile* doc, bool commandAllowed,
                           std::uint32_t initItems);

// A package's job file written on a thread of its own as soon as the
// package is open, so that a transfer finds it ready instead of writing
// 64 MiB after the printer's console has answered. It is written for a
// printer that takes the download command (what a package for the model
// expects), up to the restart command, which depends on choices made
// later. The first transfer to take it adds its restart command; a later
// one whose choices give the same stream sends the same file, any other
// builds its own. The file is locked and removed like every job file; it
// goes with the last owner.
class JobFileAhead {
 public:
  explicit JobFileAhead(std::shared_ptr<const TDownDocFile> package);
  // Stops a write still going and waits for it.
  ~JobFileAhead();
  JobFileAhead(const JobFileAhead&) = delete;
  JobFileAhead& operator=(const JobFileAhead&) = delete;

  // The finished job file for a transfer of package with these choices:
  // true with its path and length, false when the file written ahead is
  // of another package or stream, or was not written (the caller then
  // builds its own, and says why that fails). Waits for the writing while
  // stop() is false, looking every 20 ms.
  bool Take(const TDownDocFile* package, bool commandAllowed, std::uint32_t initItems,
            const std::function<bool()>& stop, std::string& path, std::uint32_t& length);

 private:
  void Write();

  std::shared_ptr<const TDownDocFile> package_;
  std::optional<platform::LockedTempFile> file_;
  std::mutex mutex_;
  std::condition_variable written_;
  bool done_ = false;       // the writer has ended
  bool ok_ = false;         // and wrote the stream up to its restart command
  std::uint64_t start_ = 0;  // bytes written: wrapper and data
  bool download_ = false;   // they begin with the download command
  // Once taken: the restart command's digit, or -1 for none, and the length.
  bool taken_ = false;
  int restart_ = -1;
  std::uint32_t length_ = 0;
  std::atomic<bool> cancel_{false};
  std::thread writer_;
};

}  // namespace quillon
