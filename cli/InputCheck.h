#pragma once
// The package file named on the command line, checked the same way by
// every command before it is opened: a missing file, a folder and a file
// that cannot be read are input errors, each with its own reason.
#include <string>

namespace cli {

// True when path names a readable regular file; otherwise false with the
// reason ("PATH: No such file or directory", "PATH: is a directory, not a
// package file", ...).
bool PackageFileUsable(const std::string& path, std::string& reason);

}  // namespace cli
