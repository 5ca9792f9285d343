#pragma once
// One opened firmware package, held in memory: header values, target models,
// model rows the package brings, and the data block sent to the printer.
//
// Three forms are read, chosen by the upper-cased extension of the path:
// ".RXV" is a cabinet holding HEADER.RXF, its data files and icons; anything
// else is a single header file, plain or LZ ("SZDD") compressed, whose data
// follow the first 0x1A byte or sit in the files that DownLoadFile names.
// A cabinet or compressed package is never read in place: it is unpacked
// into a private working folder that is removed again before the
// constructor returns. A plain package is not copied: its header text goes
// to that folder, its data are read from it once, straight into the data
// block (the file must still be the one measured before).

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/TextCodec.h"

namespace platform { class ProfileFile; }

namespace quillon {

// Result of opening; same numbering as the download result codes.
enum : std::uint16_t {
  kDocOk = 0,
  kDocCannotOpen = 17,     // the package cannot be found or opened, or is no regular file
  kDocCannotCopy = 18,     // the working copy (or the data block) cannot be made
  kDocBadFormat = 19,      // unusable: damaged, empty, partial, too large, data from outside
  kDocCancelled = 4096,    // the open was stopped by SIGINT/SIGTERM
};

// The package forms, as the document reads them.
enum class PackageForm { kNone, kCabinet, kCompressed, kPlain };
// "cabinet", "compressed", "plain", or "" for kNone.
const char* PackageFormName(PackageForm form);

// The job stream carries the data length in 8 decimal digits.
constexpr std::uint64_t kMaxPackageData = 99999999;
// A single-file package's working copy holds at most one header text and
// the data; anything larger is refused before or while it is expanded.
constexpr std::uint64_t kMaxWorkFile = kMaxPackageData + (std::uint64_t{1} << 20);
// A package may teach the program at most this many model rows: more than
// the built-in table holds, few enough that the settings file stays small.
constexpr std::size_t kMaxPackageModelRows = 256;
// A header may name at most this many data files; one naming more is
// refused, never cut. Far above what a firmware is made of, and few enough
// that a hostile header costs little to turn down.
constexpr std::size_t kMaxDataFiles = 1024;

}  // namespace quillon

class TDownDocFile {
 public:
  // Opens fileName when it is not empty; the outcome is in Status and
  // HeaderValid. iconFolder receives the package's *.ico files; empty means
  // the program's data folder (DefaultIconFolder()).
  // Later: the header is read and every data file measured, but the data
  // are read only by ReadPendingData(), so that a caller can ask printers
  // meanwhile. Until then DataBuffer is null.
  enum class DataRead { Now, Later };
  explicit TDownDocFile(const std::string& fileName = std::string(),
                        const std::string& iconFolder = std::string(),
                        DataRead read = DataRead::Now);
  virtual ~TDownDocFile();
  TDownDocFile(const TDownDocFile&) = delete;
  TDownDocFile& operator=(const TDownDocFile&) = delete;

  // The writable folder of the program where icons (and the download log)
  // live: QStandardPaths::AppDataLocation, with a trailing "/".
  static std::string DefaultIconFolder();

  // Fields are read by the rest of the program; only the document writes them.
  std::string FileName;        // the package path as given
  std::string WorkDir;         // folder of the header file, trailing "/"
  std::int32_t HeaderValid = 0;
  std::string DownLoadDesc;    // UTF-8
  std::string DownLoadVersion; // UTF-8
  std::int32_t EnableCommand = 0;
  std::int32_t Reboot = 0;
  std::string DownLoadFile;    // file names as bytes, comma separated, never cut
  // The names DownLoadFile gives, split once, in order (bytes); empty when
  // the data lie in the header's own file. Each of them is loaded.
  std::vector<std::string> DataFiles;
  std::string BeginMessage;    // UTF-8, "\n" pairs turned into CR
  std::string DoneMessage;     // UTF-8, "\n" pairs turned into CR
  std::vector<std::string> PrinterList;                            // UTF-8
  std::vector<std::pair<std::string, std::string>> PrinterTable;  // UTF-8
  std::uint16_t Status = 0;
  std::string StatusDetail;    // why Status is not 0, in words (English)
  quillon::PackageForm Form = quillon::PackageForm::kNone;  // set once the file was found
  unsigned char* DataBuffer = nullptr;  // owned; DataSize bytes
  std::uint32_t DataSize = 0;

  // Allocation of the data block; replaceable so that a failed allocation
  // can be exercised. Must return nullptr on failure, memory for free().
  // While one is set, data are always copied into an allocated block (by
  // default data that come from one file of the working folder are mapped).
  using AllocFn = void* (*)(std::size_t);
  static void SetDataAllocator(AllocFn fn);

  // SHA-256 of the data in lower-case hex ("" without data). Worked out on
  // the first call only: a batch records one package for many printers.
  const std::string& DataSha256() const;

  // With DataRead::Later: true until ReadPendingData() ran, which reads the
  // data (Status tells a file that changed since it was measured). Reads
  // nothing otherwise.
  bool DataPending() const;
  void ReadPendingData();

 private:
  void Open(const std::string& path, DataRead read);
  void ReadHeader(const std::string& headerFile);
  void ReadPrinters(const platform::ProfileFile& header);
  bool StripHeader(const std::string& headerFile);
  void CopyHeaderText(const std::string& package, const std::string& headerFile);
  struct PendingData;
  bool MeasureData(PendingData& data);
  void ReadData(const PendingData& data);
  void CopyIcons() const;
  void ReleaseData();
  void Fail(std::uint16_t status, std::string detail);
  std::string DataFilePath(const std::string& raw);
  platform::TextEncoding Encoding() const {
    return utf8Header_ ? platform::TextEncoding::kUtf8 : platform::TextEncoding::kCp932;
  }

  std::string iconFolder_;
  std::string dataDir_;        // where relative DownLoadFile names resolve
  bool utf8Header_ = false;    // the header's texts are UTF-8 (byte order mark)
  std::string workFile_;       // the expanded single-file package, if any
  std::uint64_t workFileOffset_ = 0;  // data start in workFile_
  std::string plainPackage_;   // a plain package whose data workFile_ stands for
  void* mapBase_ = nullptr;    // DataBuffer lies in this mapping, if set
  std::size_t mapLength_ = 0;
  std::unique_ptr<PendingData> pending_;
  mutable std::once_flag digestOnce_;
  mutable std::string digest_;
};
