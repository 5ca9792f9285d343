#pragma once
// What unpacking one package may cost, and the request to stop it.
//
// A package is untrusted input: a small cabinet can announce gigabytes or
// make the decoder go over the same blocks again and again. Every byte the
// decoders read or write passes the file layer (MspackSystem), which counts
// it against the budget of the unpack running on that thread and fails the
// call once a limit is passed or a stop was requested, so the decoder gives
// up at once instead of after the damage.

#include <cstdint>

namespace platform {

// Unpacked bytes a package may produce: this multiple of its own size...
constexpr std::uint64_t kUnpackRatio = 64;
// ...but never less than this (a small header with icons), and never more
// than the hard ceiling: the data a job can carry (99,999,999 bytes), one
// header text and room for icons.
constexpr std::uint64_t kUnpackFloor = std::uint64_t{16} << 20;
constexpr std::uint64_t kUnpackCeiling = std::uint64_t{128} << 20;
// Compressed bytes the decoders may read: this many passes over the
// package, plus slack for headers. Members are extracted in folder order,
// so a sound cabinet is read about once.
constexpr std::uint64_t kUnpackReadPasses = 4;
constexpr std::uint64_t kUnpackReadSlack = std::uint64_t{1} << 20;
// Members a cabinet may hold: a header, at most 32 data files and icons.
constexpr unsigned kMaxCabinetMembers = 512;

// The byte limit for a package of packageSize bytes.
std::uint64_t UnpackByteLimit(std::uint64_t packageSize);

enum class UnpackStop { kNone, kTooLarge, kReadTooMuch, kCancelled };

// The budget of one unpack; while it lives it is the budget of its thread.
class UnpackBudget {
 public:
  UnpackBudget(std::uint64_t writeLimit, std::uint64_t readLimit);
  ~UnpackBudget();
  UnpackBudget(const UnpackBudget&) = delete;
  UnpackBudget& operator=(const UnpackBudget&) = delete;

  // The budget of the calling thread, or nullptr outside an unpack.
  static UnpackBudget* Current();

  // Counts bytes about to be written / just read; false once a limit is
  // passed or a stop was requested (the reason stays in Stopped()).
  bool Write(std::uint64_t bytes);
  bool Read(std::uint64_t bytes);
  // False when a stop was requested.
  bool Check();
  UnpackStop Stopped() const { return stop_; }
  std::uint64_t Written() const { return written_; }
  std::uint64_t WriteLimit() const { return writeLimit_; }

 private:
  std::uint64_t writeLimit_, readLimit_;
  std::uint64_t written_ = 0, read_ = 0;
  UnpackStop stop_ = UnpackStop::kNone;
  UnpackBudget* outer_;
};

// Asks every unpack to stop; async-signal-safe, for SIGINT/SIGTERM handlers.
// The request stays until ClearUnpackCancel().
void RequestUnpackCancel();
void ClearUnpackCancel();
bool UnpackCancelRequested();

}  // namespace platform
