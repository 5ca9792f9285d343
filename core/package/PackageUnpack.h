#pragma once
// Unpacking a firmware package into its private working folder, and the
// cabinet walk that the program exports to the setup layer.

#include <cstdint>
#include <string>

extern "C" {
// Extracts every acceptable member of the cabinet below destination.
// 0 on success, else an error number. Exported by the program.
__attribute__((visibility("default"))) int IterateCabinet(const char* cabinet,
                                                         const char* destination);
}

namespace download {

// Notification routine of the walk; the context is the walk's destination.
unsigned CabinetCallback(void* context, unsigned notification, std::uintptr_t param1,
                         std::uintptr_t param2);

// True when a stored member name (slashes already made of backslashes) may be
// written below the working folder: relative, no ".." part, naming a file.
bool IsSafeMemberName(const std::string& name);

// Unpacks the cabinet into folder (which exists). Always true: a cabinet that
// cannot be read leaves the folder empty, so the header shows up as missing.
bool ExtractCabinet(const std::string& cabinet, const std::string& folder);

// Expands (or copies) a single-file package into target: 0, or the status 17
// (package cannot be opened) or 18 (working copy cannot be made).
int ExpandFile(const std::string& source, const std::string& target);

// Copies the *.ico files directly in folder (letter case of the extension
// ignored) into iconFolder, overwriting; failures are silent.
void CopyIcons(const std::string& folder, const std::string& iconFolder);

// The path of relative below folder; where no file has that exact name, a
// name that differs only in ASCII letter case is taken, part by part, as the
// packages were written for a file system that ignores case.
std::string ResolveIgnoringCase(const std::string& folder, const std::string& relative);

}  // namespace download
