#pragma once
// Firmware packages made at test time, with the real tools where they exist.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace package_test {

// A header text: "[RX_DownLoad]" with the given lines, CR LF line ends.
std::string Header(const std::vector<std::string>& lines);

// Writes bytes to dir/name and returns the path.
std::string Put(const std::string& dir, const std::string& name, const std::string& bytes);

// Bytes 0..n-1 of a fixed pseudo-random pattern, different per seed.
std::string Pattern(size_t n, unsigned seed);

// Runs gcab in dir: members are paths relative to dir (a subfolder becomes a
// backslash name). Returns the cabinet's path, "" when gcab failed.
std::string Gcab(const std::string& dir, const std::string& cabName,
                 const std::vector<std::string>& members, bool mszip);

// Runs mscompress on path and moves its output to outPath; outPath, or ""
// when the tool failed.
std::string Mscompress(const std::string& path, const std::string& outPath);

// An uncompressed cabinet written byte by byte, members stored under the
// names given verbatim (so names no tool would store can be tried).
std::string StoredCabinet(const std::vector<std::pair<std::string, std::string>>& members);

// Hostile packages, made at test time (each names the defect it once had).

// 65,535 folders that all point at the same 65,535 empty data blocks (about
// 1 MiB): a checksum walk per folder reads 4.3e9 blocks.
std::string SharedBlocksCabinet();

// One MSZIP folder of `blocks` blocks of 32 KiB zeros (about 50 bytes each)
// and `members` members that all span the whole folder.
std::string ZeroBombCabinet(unsigned blocks, unsigned members);

// One MSZIP folder holding the blocks as given (bytes as stored, "CK"
// included, with the uncompressed size each announces; checksums only when
// asked) and members of the given sizes, laid one after the other from its
// start.
struct RawBlock {
  std::string bytes;
  unsigned stated;
};
std::string MszipCabinet(const std::vector<RawBlock>& blocks,
                         const std::vector<std::pair<std::string, std::uint32_t>>& members,
                         bool checksums = false);

// A stored folder of `blocks` 32 KiB blocks and `members` one-byte members
// all at its last byte: each makes the decoder start the folder again.
std::string RereadCabinet(unsigned blocks, unsigned members);

// An LZ ("SZDD") header announcing `length` bytes, followed by a few bytes.
std::string SzddAnnouncing(std::uint32_t length);

// Entries named dwn* left in the temporary folder.
std::vector<std::string> WorkLeftovers();

// Every file below root, relative paths, sorted.
std::vector<std::string> FilesBelow(const std::string& root);

}  // namespace package_test
