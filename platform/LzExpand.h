#pragma once
// Expansion of files in the old "SZDD" compress format (the *.RX_ packages).
// A file without the SZDD signature is copied byte for byte.

#include <cstdint>
#include <string>

namespace platform {

enum LzResult : int {
  kLzOk = 0,
  kLzSourceFailed = 17,  // the source cannot be opened (or is no regular file)
  kLzTargetFailed = 18,  // the target cannot be created, or the copy failed
  kLzTooLarge = 19,      // the result would be larger than allowed
  kLzCancelled = 4096,   // a stop was requested (RequestUnpackCancel)
};

// Expands or copies source into target (created anew, never through a link).
// A truncated or corrupt compressed file is a failed copy; the partial
// target is then removed. A result of more than maxBytes is refused as soon
// as the compressed header announces it or the output passes it.
LzResult LzExpandFile(const std::string& source, const std::string& target,
                      std::uint64_t maxBytes = UINT64_MAX);

}  // namespace platform
