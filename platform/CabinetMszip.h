#pragma once
// MSZIP folders of a cabinet, decoded with zlib: each data block is "CK"
// and a raw deflate stream whose back-references may reach into the output
// of the blocks before it, so each block is inflated with the last 32 KiB of
// the folder's output as its dictionary. The cabinet's structure, the other
// compression types and the checks before extraction stay with libmspack
// and CheckCabinetBlocks (Cabinet.cpp).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/Error.h"

namespace platform {

// The most a data block may hold, compressed (with deflate's worst-case
// growth) and uncompressed.
constexpr unsigned kCabBlockInputMax = 32768 + 6144;
constexpr unsigned kCabBlockOutputMax = 32768;

// The compression type of a folder, as stored (low four bits).
constexpr unsigned kCabCompressionMask = 0x000F;
constexpr unsigned kCabCompressionMszip = 1;

// One block at a time.
class MszipInflater {
 public:
  MszipInflater();
  ~MszipInflater();
  MszipInflater(const MszipInflater&) = delete;
  MszipInflater& operator=(const MszipInflater&) = delete;

  bool ok() const { return ok_; }

  // Inflates one block's stored bytes (signature included) into out, which
  // receives exactly expected (<= kCabBlockOutputMax) bytes; history is the
  // output before this block (at most its last 32 KiB are used). Fails with
  // CAB_ERROR_INVALID_DATA and the cause when the signature is missing, the
  // data are damaged, or they inflate to more or fewer bytes than expected.
  Error Block(const unsigned char* in, std::size_t inLen, const unsigned char* history,
              std::size_t historyLen, unsigned char* out, unsigned expected);

 private:
  struct Stream;
  std::unique_ptr<Stream> z_;
  bool ok_ = false;
};

// Where one MSZIP folder's blocks lie in the cabinet.
struct MszipFolder {
  const void* key;        // tells folders apart
  unsigned index;         // in the cabinet's folder table
  std::uint64_t first;    // offset of the first data block
  unsigned count;         // data blocks
  unsigned blockReserve;  // reserved bytes in each block header
};

// Decodes MSZIP folders of one open cabinet and writes members from them.
// Members are expected in folder order and by offset: a member that starts
// behind what was decoded makes the folder be decoded again from its start.
// Every byte read and written is counted against the unpack budget of the
// thread (UnpackLimits.h); a passed limit or a stop request fails the call
// (the caller tells which from the budget).
class MszipFolderReader {
 public:
  explicit MszipFolderReader(int cabinetFd);
  ~MszipFolderReader();
  MszipFolderReader(const MszipFolderReader&) = delete;
  MszipFolderReader& operator=(const MszipFolderReader&) = delete;

  // Writes bytes [offset, offset + length) of the folder's output to out.
  // Each block read is checked against its stored checksum first (the rule
  // of CheckCabinetBlocks).
  Error Extract(const MszipFolder& folder, std::uint64_t offset, std::uint64_t length, int out);

  // Checks the checksums of the folder's blocks no Extract has read.
  Error VerifyRest(const MszipFolder& folder);

  // True once a block failed its checksum: the cabinet is damaged.
  bool ChecksumFailed() const { return checksumFailed_; }

 private:
  void Start(const MszipFolder& folder);
  // Reads the next block of the folder; data and lengths point into in_.
  Error ReadBlock(const unsigned char*& data, unsigned& inLen, unsigned& outLen);
  Error NextBlock();
  const unsigned char* Take(std::size_t n);

  int fd_;
  MszipInflater inflater_;
  MszipFolder folder_{nullptr, 0, 0, 0, 0};
  std::unordered_map<const void*, unsigned> checked_;  // blocks checked, per folder
  unsigned block_ = 0;            // blocks of the folder decoded so far
  std::uint64_t at_ = 0;          // cabinet offset of the next block header
  std::uint64_t outBase_ = 0;     // folder output offset of out_[0]
  std::size_t outUsed_ = 0;
  std::unique_ptr<unsigned char[]> out_;
  std::unique_ptr<unsigned char[]> in_;
  std::uint64_t inBase_ = 0;      // cabinet offset of in_[0]
  std::size_t inLen_ = 0;
  bool checksumFailed_ = false;
};

}  // namespace platform
