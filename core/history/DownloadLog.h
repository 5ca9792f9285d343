#pragma once
// DownLoad.log: one profile entry per successful download. The section is
// the local date and time, the key the package's absolute path, "," and its
// description and version, the value the printer, "," and its port.
//
// Two rules keep every entry readable by the profile rules: a key never
// holds "=" or a line break (they are written as %3D, %0A, %0D, and "%"
// itself as %25 so the key reads back unambiguously), and an entry whose
// key its section already holds (a second download of the same package in
// the same second, a batch) goes to the section "time (2)", "time (3)", ...
// so it does not replace the first.
// The read, change and rename run under a lock on the log's folder, so
// the window and a batch writing at once lose nothing. The lock is waited
// for a bounded time; a lock held longer is a failure that says so.

#include <string>

#include "platform/Error.h"

namespace quillon {

// The key text of a package path and its description and version.
std::string DownloadLogKey(const std::string& packagePath, const std::string& packageState);
// Undoes the escapes of a key (for readers and tests).
std::string UnescapeLogKey(const std::string& key);

// Adds the entry; a section that holds the key already is followed by the
// next free "section (N)" (section and key compared as the file keeps
// them, blanks around them trimmed). The folder is created when missing.
// A failure says that the entry was not written, and why.
constexpr int kDownloadLogLockWaitMs = 5000;
platform::Error AppendDownloadLog(const std::string& logPath, const std::string& section,
                                  const std::string& key, const std::string& value,
                                  int lockWaitMs = kDownloadLogLockWaitMs);

}  // namespace quillon
