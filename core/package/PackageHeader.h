#pragma once
// Reading a package's header file: its text part as a profile, texts cut to
// the header's limits and decoded to UTF-8, and the lists in its values.
// Values that name data are never cut.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ProfileFile.h"
#include "platform/TextCodec.h"

namespace quillon {

// The profile of the header file: only the text before the first 0x1A byte
// counts, and of a large file only its first kMaxHeaderText bytes are
// read, so a big data tail is never held twice in memory. textCut, when
// given, tells whether text before the first 0x1A was left out.
constexpr std::uint64_t kMaxHeaderText = 1 << 20;
platform::ProfileFile OpenHeaderProfile(const std::string& path, bool* textCut = nullptr);

// The encoding of a header's texts: CP932, unless the file begins with a
// UTF-8 byte order mark.
platform::TextEncoding HeaderEncoding(const platform::ProfileFile& header);

// A text value cut to maxBytes bytes of the file's text (never inside a
// character), as bytes.
std::string ReadRawValue(const platform::ProfileFile& header, std::string_view section,
                         std::string_view key, std::string_view def, size_t maxBytes);
// The same, decoded to UTF-8 from the header's encoding.
std::string ReadTextValue(const platform::ProfileFile& header, std::string_view section,
                          std::string_view key, std::string_view def, size_t maxBytes);

// Target model names: runs of '"' and ',' separate, empty pieces dropped,
// blanks kept.
std::vector<std::string> SplitPrinterNames(std::string_view value);

// Data file names: split at every ',', no trimming, empty pieces dropped.
// Every name is kept: the caller refuses a list it cannot load whole.
std::vector<std::string> SplitDataFileNames(std::string_view value);

// Offset of the first byte b in the file, -1 when there is none or the file
// cannot be read.
std::int64_t FindFirstByte(const std::string& path, unsigned char b);

}  // namespace quillon
