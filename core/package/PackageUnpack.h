#pragma once
// Unpacking a firmware package into its private working folder, and the
// cabinet walk that the program exports to the setup layer.

#include <cstdint>
#include <string>

#include "platform/Error.h"

extern "C" {
// Extracts every acceptable member of the cabinet below destination.
// 0 on success, else an error number. Exported by the program.
__attribute__((visibility("default"))) int IterateCabinet(const char* cabinet,
                                                         const char* destination);
}

namespace quillon {

// Notification routine of the walk; the context is the walk's destination.
unsigned CabinetCallback(void* context, unsigned notification, std::uintptr_t param1,
                         std::uintptr_t param2);

// True when a stored member name (slashes already made of backslashes) may be
// written below the working folder: relative, no ".." part, naming a file.
bool IsSafeMemberName(const std::string& name);

// Unpacks the cabinet into folder (which exists). A cabinet that cannot be
// read through fails with its cause and leaves the folder empty: members of
// a cabinet that failed half-way may be missing or stale.
platform::Error ExtractCabinet(const std::string& cabinet, const std::string& folder);

// Expands (or copies) a single-file package into target: 0, or the status 17
// (package cannot be opened), 18 (working copy cannot be made), 19 (more
// than maxBytes) or 4096 (stopped on request).
int ExpandFile(const std::string& source, const std::string& target,
               std::uint64_t maxBytes = UINT64_MAX);

// True when the file starts with the LZ ("SZDD") signature.
bool HasLzSignature(const std::string& path);

// Copies the *.ico files directly in folder (letter case of the extension
// ignored) into iconFolder, overwriting; failures are silent.
void CopyIcons(const std::string& folder, const std::string& iconFolder);

// The path of relative below folder; where no file has that exact name, a
// name that differs only in ASCII letter case is taken, part by part, as the
// packages were written for a file system that ignores case.
std::string ResolveIgnoringCase(const std::string& folder, const std::string& relative);

}  // namespace quillon
