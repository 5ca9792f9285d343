#include "platform/CabinetMszip.h"

#include <unistd.h>

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "platform/Cabinet.h"
#include "platform/CabinetChecksum.h"
#include "platform/UniqueFd.h"
#include "platform/UnpackLimits.h"

namespace platform {
namespace {

constexpr std::size_t kHistory = 32768;
// Output is gathered and written in pieces of about this size; the input is
// read in pieces of this size (larger than any block with its header).
constexpr std::size_t kOutCapacity = kHistory + (std::size_t{1} << 20);
constexpr std::size_t kInCapacity = std::size_t{1} << 20;
static_assert(kInCapacity >= 8 + 255 + kCabBlockInputMax, "a block fits the input buffer");

unsigned U16(const unsigned char* p) { return p[0] | (p[1] << 8); }
std::uint32_t U32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

Error Invalid(std::string cause) { return Error::Of(CAB_ERROR_INVALID_DATA, std::move(cause)); }

}  // namespace

struct MszipInflater::Stream {
  z_stream z{};
};

MszipInflater::MszipInflater() : z_(new (std::nothrow) Stream) {
  // Raw deflate: MSZIP blocks carry no zlib header or trailer.
  ok_ = z_ && inflateInit2(&z_->z, -15) == Z_OK;
  if (!ok_) z_.reset();
}

MszipInflater::~MszipInflater() {
  if (ok_) inflateEnd(&z_->z);
}

Error MszipInflater::Block(const unsigned char* in, std::size_t inLen, const unsigned char* history,
                           std::size_t historyLen, unsigned char* out, unsigned expected) {
  if (!ok_) return Error::Of(CAB_ERROR_NOT_ENOUGH_MEMORY, "no memory for the MSZIP decoder");
  if (inLen < 2 || in[0] != 'C' || in[1] != 'K') return Invalid("an MSZIP block lacks its \"CK\" signature");
  if (expected > kCabBlockOutputMax) return Invalid("an MSZIP block announces more than 32 KiB");
  z_stream& z = z_->z;
  inflateReset(&z);
  if (historyLen > 0) {
    const std::size_t n = std::min(historyLen, kHistory);
    if (inflateSetDictionary(&z, history + historyLen - n, static_cast<uInt>(n)) != Z_OK) {
      return Invalid("an MSZIP block's history cannot be set");
    }
  }
  z.next_in = const_cast<unsigned char*>(in + 2);
  z.avail_in = static_cast<uInt>(inLen - 2);
  z.next_out = out;
  z.avail_out = expected;
  int rc = inflate(&z, Z_NO_FLUSH);
  const unsigned produced = expected - z.avail_out;
  if ((rc == Z_OK || rc == Z_BUF_ERROR) && z.avail_out == 0) {
    // Full: either the stream ends right here or it holds more.
    unsigned char extra;
    z.next_out = &extra;
    z.avail_out = 1;
    rc = inflate(&z, Z_NO_FLUSH);
    if (z.avail_out == 0) {
      return Invalid("an MSZIP block inflates to more than its stated " + std::to_string(expected) +
                     " bytes");
    }
  }
  switch (rc) {
    case Z_STREAM_END:
      if (produced != expected) {
        return Invalid("an MSZIP block inflates to " + std::to_string(produced) +
                       " bytes, not its stated " + std::to_string(expected));
      }
      return Error::Ok();
    case Z_MEM_ERROR: return Error::Of(CAB_ERROR_NOT_ENOUGH_MEMORY, "out of memory");
    case Z_DATA_ERROR:
      return Invalid(std::string("damaged compressed data (") + (z.msg ? z.msg : "invalid") + ")");
    default:
      return Invalid("damaged compressed data (an MSZIP block ends inside its stream)");
  }
}

MszipFolderReader::MszipFolderReader(int cabinetFd) : fd_(cabinetFd) {}
MszipFolderReader::~MszipFolderReader() = default;

void MszipFolderReader::Start(const MszipFolder& folder) {
  folder_ = folder;
  block_ = 0;
  at_ = folder.first;
  outBase_ = 0;
  outUsed_ = 0;
  // Read anew: decoding a folder again costs its reads again (the read
  // budget bounds how often a cabinet can make that happen).
  inLen_ = 0;
}

const unsigned char* MszipFolderReader::Take(std::size_t n) {
  if (at_ >= inBase_ && at_ + n <= inBase_ + inLen_) return in_.get() + (at_ - inBase_);
  inBase_ = at_;
  inLen_ = 0;
  UnpackBudget* budget = UnpackBudget::Current();
  while (inLen_ < n) {
    const ssize_t r = ::pread(fd_, in_.get() + inLen_, kInCapacity - inLen_,
                              static_cast<off_t>(inBase_ + inLen_));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return nullptr;
    if (budget && !budget->Read(static_cast<std::uint64_t>(r))) return nullptr;
    inLen_ += static_cast<std::size_t>(r);
  }
  return in_.get();
}

Error MszipFolderReader::ReadBlock(const unsigned char*& data, unsigned& inLen, unsigned& outLen) {
  const std::string which = "data block " + std::to_string(block_) + " of folder " +
                            std::to_string(folder_.index);
  UnpackBudget* budget = UnpackBudget::Current();
  if (budget && !budget->Check()) return Invalid("stopped");
  const std::size_t head = 8 + std::size_t{folder_.blockReserve};
  const unsigned char* h = Take(head);
  if (!h) return Invalid(which + " is cut short");
  const std::uint32_t stored = U32(h);
  unsigned char sizes[4];
  std::memcpy(sizes, h + 4, 4);
  inLen = U16(sizes);
  outLen = U16(sizes + 2);
  if (inLen > kCabBlockInputMax || outLen > kCabBlockOutputMax) {
    return Invalid(which + " is larger than a data block may be");
  }
  at_ += head;
  data = Take(inLen);
  if (!data) return Invalid(which + " is cut short");
  at_ += inLen;
  unsigned& checked = checked_[folder_.key];
  if (block_ >= checked) {
#ifndef QUILLON_FUZZ_NO_CHECKSUM
    // With a reserve area the checksum's coverage varies between writers.
    if (stored != 0 && folder_.blockReserve == 0 &&
        CabinetChecksum(sizes, 4, CabinetChecksum(data, inLen, 0)) != stored) {
      checksumFailed_ = true;
      return Invalid(which + " fails its checksum");
    }
#else
    (void)stored;
#endif
    checked = block_ + 1;
  }
  ++block_;
  return Error::Ok();
}

Error MszipFolderReader::NextBlock() {
  const unsigned char* data = nullptr;
  unsigned inLen = 0, outLen = 0;
  Error e = ReadBlock(data, inLen, outLen);
  if (e.Failed()) return e;
  e = inflater_.Block(data, inLen, out_.get(), outUsed_, out_.get() + outUsed_, outLen);
  if (e.Failed()) {
    e.detail = "data block " + std::to_string(block_ - 1) + " of folder " +
               std::to_string(folder_.index) + ": " + e.detail;
    return e;
  }
  outUsed_ += outLen;
  return Error::Ok();
}

Error MszipFolderReader::VerifyRest(const MszipFolder& folder) {
  if (!in_) in_.reset(new (std::nothrow) unsigned char[kInCapacity]);
  if (!in_) return Error::Of(CAB_ERROR_NOT_ENOUGH_MEMORY, "no memory for the MSZIP decoder");
  const unsigned done = checked_[folder.key];
  if (done >= folder.count) return Error::Ok();
  // From the folder's start: where block `done` begins is only known by
  // walking the headers before it (those are not checked again).
  Start(folder);
  while (block_ < folder.count) {
    const unsigned char* data = nullptr;
    unsigned inLen = 0, outLen = 0;
    Error e = ReadBlock(data, inLen, outLen);
    if (e.Failed()) {
      folder_.key = nullptr;
      return e;
    }
  }
  folder_.key = nullptr;
  return Error::Ok();
}

Error MszipFolderReader::Extract(const MszipFolder& folder, std::uint64_t offset,
                                 std::uint64_t length, int out) {
  if (!out_) out_.reset(new (std::nothrow) unsigned char[kOutCapacity]);
  if (!in_) in_.reset(new (std::nothrow) unsigned char[kInCapacity]);
  if (!out_ || !in_ || !inflater_.ok()) {
    return Error::Of(CAB_ERROR_NOT_ENOUGH_MEMORY, "no memory for the MSZIP decoder");
  }
  if (length == 0) return Error::Ok();
  if (offset + length > std::uint64_t{folder.count} * kCabBlockOutputMax) {
    return Invalid("reaches past the data of its folder");
  }
  if (folder.key != folder_.key || offset < outBase_) Start(folder);
  UnpackBudget* budget = UnpackBudget::Current();
  const std::uint64_t end = offset + length;
  while (offset < end) {
    const std::uint64_t have = outBase_ + outUsed_;
    if (offset < have) {
      const std::size_t n = static_cast<std::size_t>(std::min(end, have) - offset);
      // Counted before it reaches the disk: nothing past a limit is written.
      if (budget && !budget->Write(n)) return Invalid("stopped");
      if (!WriteAll(out, out_.get() + (offset - outBase_), n)) {
        return Error::FromErrno(CAB_ERROR_WRITE_FAULT, "cannot be written");
      }
      offset += n;
      continue;
    }
    if (outUsed_ + kCabBlockOutputMax > kOutCapacity) {
      // Room for more, keeping the last 32 KiB as the next block's history.
      const std::size_t keep = std::min(outUsed_, kHistory);
      std::memmove(out_.get(), out_.get() + outUsed_ - keep, keep);
      outBase_ += outUsed_ - keep;
      outUsed_ = keep;
    }
    while (outUsed_ + kCabBlockOutputMax <= kOutCapacity && outBase_ + outUsed_ < end) {
      Error e = block_ < folder_.count ? NextBlock()
                                       : Invalid("the folder's data end before the member does");
      if (e.Failed()) {
        folder_.key = nullptr;  // the next member starts the folder again
        return e;
      }
    }
  }
  return Error::Ok();
}

}  // namespace platform
