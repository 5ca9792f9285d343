#pragma once
// The job file sent to the printer: for models that take it, the firmware
// data wrapped in the download command (job-language preamble and the data
// length) and followed by the restart command that names the settings to
// reset; otherwise the bare data.

#include <cstddef>
#include <cstdint>
#include <string>

class TDownDocFile;

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
