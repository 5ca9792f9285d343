#pragma once
// Expansion of files in the old "SZDD" compress format (the *.RX_ packages).
// A file without the SZDD signature is copied byte for byte.

#include <string>

namespace platform {

enum LzResult : int {
  kLzOk = 0,
  kLzSourceFailed = 17,  // the source cannot be opened (or is no regular file)
  kLzTargetFailed = 18,  // the target cannot be created, or the copy failed
};

// Expands or copies source into target (created anew, never through a link).
// A truncated or corrupt compressed file is a failed copy; the partial
// target is then removed.
LzResult LzExpandFile(const std::string& source, const std::string& target);

}  // namespace platform
