#include "core/package/DownDocFile.h"

#include "core/package/Sha256.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QStandardPaths>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "core/app/Funcs.h"
#include "core/package/PackageHeader.h"
#include "core/package/PackageUnpack.h"
#include "platform/Cabinet.h"
#include "platform/TempNames.h"
#include "platform/UnpackLimits.h"
#include "platform/TextCodec.h"
#include "platform/UniqueFd.h"
#include "platform/Text.h"

using quillon::PackageForm;
using quillon::kDocBadFormat;
using quillon::kDocCancelled;
using quillon::kDocCannotCopy;
using quillon::kDocCannotOpen;
using quillon::kDocOk;
using quillon::kMaxDataFiles;
using quillon::kMaxPackageData;
using quillon::kMaxPackageModelRows;
using quillon::kMaxWorkFile;

namespace fs = std::filesystem;

namespace {

constexpr char kSection[] = "RX_DownLoad";
constexpr char kPrintersSection[] = "Printers";
constexpr char kHeaderMember[] = "HEADER.RXF";
constexpr char kWorkFileName[] = "dwn.tmp";

TDownDocFile::AllocFn g_alloc = std::malloc;
// Data blocks of this size and more are mapped instead of allocated, and
// aligned to it (the usual huge page).
constexpr std::size_t kHugePage = std::size_t{2} << 20;

// A data file: a regular file, opened without blocking on a FIFO or device.
// Its descriptor is not open when it cannot be used.
struct DataFile {
  platform::UniqueFd fd;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  dev_t dev = 0;
  ino_t ino = 0;
};

DataFile OpenDataFile(const std::string& path, std::uint64_t offset) {
  // Checked by name first: a FIFO or device is never opened at all.
  struct stat named;
  if (::stat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) return DataFile{};
  DataFile f{platform::UniqueFd(platform::OpenRegularFile(path)), offset, 0, 0, 0};
  struct stat st;
  if (!f.fd.ok() || ::fstat(f.fd.get(), &st) != 0) return DataFile{};
  const auto total = static_cast<std::uint64_t>(st.st_size);
  f.size = total > offset ? total - offset : 0;
  f.dev = st.st_dev;
  f.ino = st.st_ino;
  return f;
}

// One piece of the data block: a file named by the header (or the working
// file), as it was found when the sizes were added up.
struct Piece {
  std::string path;
  std::string label;  // as the cause names it, UTF-8
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  dev_t dev = 0;
  ino_t ino = 0;
};

// The piece's file opened again; not open when it is no longer the file
// that was measured (replaced, grown or shrunk in between).
DataFile Reopen(const Piece& p) {
  DataFile f = OpenDataFile(p.path, p.offset);
  if (f.fd.ok() && (f.dev != p.dev || f.ino != p.ino || f.size != p.size)) return DataFile{};
  return f;
}

// Reads up to len bytes at offset; the count read.
std::uint64_t ReadAt(int fd, unsigned char* dst, std::uint64_t len, std::uint64_t offset) {
  std::uint64_t got = 0;
  while (got < len) {
    const size_t chunk = static_cast<size_t>(std::min<std::uint64_t>(len - got, 1u << 30));
    const ssize_t n = ::pread(fd, dst + got, chunk, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::uint64_t>(n);
  }
  return got;
}

// Data in a file of our private working folder are mapped instead of read:
// nobody else can change the file, and the mapping outlives its removal. The
// pages are read when the job is sent, not twice during the open.
struct Mapping {
  void* base = nullptr;
  size_t length = 0;
  unsigned char* data = nullptr;
};

Mapping MapData(const DataFile& f) {
  const long page = ::sysconf(_SC_PAGESIZE);
  if (f.fd.get() < 0 || page <= 0) return {};
  const std::uint64_t start = f.offset - f.offset % static_cast<std::uint64_t>(page);
  const size_t length = static_cast<size_t>(f.offset + f.size - start);
  void* p = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE, f.fd.get(),
                   static_cast<off_t>(start));
  if (p == MAP_FAILED) return {};
  ::madvise(p, length, MADV_SEQUENTIAL);
  return {p, length, static_cast<unsigned char*>(p) + (f.offset - start)};
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// True when path lies lexically below folder (no ".." leads out of it).
bool IsBelow(const std::string& path, const std::string& folder) {
  const fs::path p = fs::path(path).lexically_normal();
  const fs::path rel = p.lexically_relative(fs::path(folder).lexically_normal());
  return !rel.empty() && *rel.begin() != ".." && rel.is_relative();
}

}  // namespace

namespace quillon {

const char* PackageFormName(PackageForm form) {
  switch (form) {
    case PackageForm::kCabinet: return "cabinet";
    case PackageForm::kCompressed: return "compressed";
    case PackageForm::kPlain: return "plain";
    case PackageForm::kNone: break;
  }
  return "";
}

}  // namespace quillon

void TDownDocFile::SetDataAllocator(AllocFn fn) { g_alloc = fn ? fn : std::malloc; }

std::string TDownDocFile::DefaultIconFolder() {
  QString dir;
  if (QCoreApplication::applicationName().isEmpty()) {
    // Before the application has named itself the generic folder would be
    // shared with every program.
    dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/quillon";
  } else {
    dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  }
  std::string s = dir.toStdString();
  if (s.empty() || s.back() != '/') s += '/';
  return s;
}

// What a package opened with its data read later keeps until they are
// read: the measured pieces, and the working folder they may lie in.
struct TDownDocFile::PendingData {
  std::vector<Piece> pieces;
  bool mapped = false;  // one file of our own working folder
  std::uint64_t total = 0;
  std::unique_ptr<platform::LockedTempFolder> work;
};

TDownDocFile::TDownDocFile(const std::string& fileName, const std::string& iconFolder,
                           DataRead read)
    : FileName(fileName), iconFolder_(iconFolder) {
  if (!FileName.empty()) Open(FileName, read);
}

TDownDocFile::~TDownDocFile() { ReleaseData(); }

bool TDownDocFile::DataPending() const { return pending_ != nullptr; }

void TDownDocFile::ReadPendingData() {
  if (!pending_) return;
  // Only a package whose data were measured keeps them pending.
  const std::unique_ptr<PendingData> pending = std::move(pending_);
  ReadData(*pending);
  if (Status == kDocOk) CopyIcons();
  // The working folder goes with pending.
}

const std::string& TDownDocFile::DataSha256() const {
  std::call_once(digestOnce_, [this] { digest_ = quillon::Sha256Hex(DataBuffer, DataSize); });
  return digest_;
}

void TDownDocFile::ReleaseData() {
  if (mapBase_) {
    ::munmap(mapBase_, mapLength_);
    mapBase_ = nullptr;
    mapLength_ = 0;
  } else {
    std::free(DataBuffer);
  }
  DataBuffer = nullptr;
  DataSize = 0;
}

void TDownDocFile::Fail(std::uint16_t status, std::string detail) {
  Status = status;
  StatusDetail = std::move(detail);
  ReleaseData();
}

void TDownDocFile::Open(const std::string& path, DataRead read) {
  std::error_code ec;
  const fs::path full = fs::absolute(fs::path(path), ec).lexically_normal();
  struct stat st;
  if (ec || full.empty()) {
    Fail(kDocCannotOpen, "the path cannot be made absolute");
    return;
  }
  if (full.native().size() >= PATH_MAX) {
    // The system's own limit: no call could open it.
    Fail(kDocCannotOpen, "the full path is longer than " + std::to_string(PATH_MAX - 1) + " bytes");
    return;
  }
  if (::stat(full.c_str(), &st) != 0) {
    Fail(kDocCannotOpen, std::string("cannot be found: ") + std::strerror(errno));
    return;
  }
  // Decided on the name alone: a FIFO or device is never opened, since
  // opening some of them blocks or has effects of its own.
  if (!S_ISREG(st.st_mode)) {
    Fail(kDocCannotOpen, S_ISDIR(st.st_mode) ? "a folder, not a package file" : "not a regular file");
    return;
  }

  std::string ext = full.extension().string();
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  Form = ext == ".RXV" ? PackageForm::kCabinet
         : quillon::HasLzSignature(full.string()) ? PackageForm::kCompressed
                                                   : PackageForm::kPlain;

  // Working folders and job files of runs that were killed are ours to clear.
  platform::RemoveStaleTempLeftovers("dwn");
  // A private folder of our own: nobody else can plant or read anything in
  // it while the package is unpacked there, and it is locked while in use.
  auto work = std::make_unique<platform::LockedTempFolder>("dwn");
  if (work->Empty()) {
    Fail(kDocCannotCopy, "no working folder can be made in " + platform::TempFolder());
    return;
  }
  const std::string folder = work->Path() + "/";

  std::string headerFile;
  if (Form == PackageForm::kCabinet) {
    const platform::Error err = quillon::ExtractCabinet(full.string(), work->Path());
    headerFile = quillon::ResolveIgnoringCase(folder, kHeaderMember);
    dataDir_ = folder;
    if (err.Failed()) {
      Fail(err.code == static_cast<int>(platform::CAB_ERROR_OPERATION_ABORTED) &&
                   platform::UnpackCancelRequested()
               ? kDocCancelled
               : kDocBadFormat,
           "cabinet: " + err.detail);
    } else if (!IsRegularFile(headerFile)) {
      Fail(kDocBadFormat, std::string("the cabinet holds no ") + kHeaderMember);
    }
  } else if (Form == PackageForm::kPlain) {
    headerFile = folder + kWorkFileName;
    CopyHeaderText(full.string(), headerFile);
    dataDir_ = full.parent_path().string() + "/";
  } else {
    headerFile = folder + kWorkFileName;
    const int rc = quillon::ExpandFile(full.string(), headerFile, kMaxWorkFile);
    switch (rc) {
      case 0: break;
      case kDocCannotOpen: Fail(kDocCannotOpen, "cannot be read"); break;
      case kDocBadFormat:
        Fail(kDocBadFormat, "expands to more than " + std::to_string(kMaxWorkFile) + " bytes");
        break;
      case kDocCancelled: Fail(kDocCancelled, "stopped on request"); break;
      default:
        Fail(kDocCannotCopy, Form == PackageForm::kCompressed
                                 ? "cannot be expanded: cut short, damaged, or the disk is full"
                                 : "the working copy cannot be written");
        break;
    }
    // Data files named beside the package are kept beside the package.
    dataDir_ = full.parent_path().string() + "/";
  }
  WorkDir = fs::path(headerFile).parent_path().string() + "/";
  if (Status != kDocOk) return;  // work removes the folder

  ReadHeader(headerFile);
  if (Status != kDocOk) return;
  auto pending = std::make_unique<PendingData>();
  if (!MeasureData(*pending)) return;
  if (read == DataRead::Later) {
    // Everything that can refuse the package has been checked but a file
    // changing before it is read; the folder stays until then.
    pending->work = std::move(work);
    pending_ = std::move(pending);
    return;
  }
  ReadData(*pending);
  if (Status == kDocOk) CopyIcons();
}

// A plain package is not copied whole: only the part of it that the header
// reader reads goes into the working file, and its data are read straight
// from the package into their block when they are loaded.
void TDownDocFile::CopyHeaderText(const std::string& package, const std::string& headerFile) {
  plainPackage_.clear();
  if (platform::UnpackCancelRequested()) {
    Fail(kDocCancelled, "stopped on request");
    return;
  }
  platform::UniqueFd in(platform::OpenRegularFile(package));
  struct stat st;
  if (!in.ok() || ::fstat(in.get(), &st) != 0) {
    Fail(kDocCannotOpen, "cannot be read");
    return;
  }
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (size > kMaxWorkFile) {
    Fail(kDocBadFormat, "expands to more than " + std::to_string(kMaxWorkFile) + " bytes");
    return;
  }
  // The text up to its first 0x1A (the reader stops there); without one,
  // a byte past the text limit, so that the reader sees a text that long
  // as it would in the package itself.
  const std::uint64_t most = std::min<std::uint64_t>(size, quillon::kMaxHeaderText + 1);
  std::vector<unsigned char> text;
  constexpr std::uint64_t kStep = 64 * 1024;
  while (text.size() < most) {
    const std::uint64_t at = text.size();
    const std::uint64_t n = std::min(kStep, most - at);
    text.resize(static_cast<size_t>(at + n));
    if (ReadAt(in.get(), text.data() + at, n, at) != n) {
      Fail(kDocCannotOpen, "cannot be read");
      return;
    }
    const void* mark = std::memchr(text.data() + at, 0x1A, static_cast<size_t>(n));
    if (mark && static_cast<const unsigned char*>(mark) - text.data() <
                    static_cast<std::ptrdiff_t>(quillon::kMaxHeaderText)) {
      text.resize(static_cast<size_t>(static_cast<const unsigned char*>(mark) - text.data() + 1));
      break;
    }
  }
  platform::UniqueFd out(::open(headerFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!out.ok() || !platform::WriteAll(out.get(), text.data(), text.size()) || out.CloseChecked() != 0) {
    Fail(kDocCannotCopy, "the working copy cannot be written");
    return;
  }
  plainPackage_ = package;
}

void TDownDocFile::ReadHeader(const std::string& headerFile) {
  HeaderValid = 0;
  DownLoadDesc.clear();
  DownLoadVersion.clear();
  DownLoadFile.clear();
  DoneMessage.clear();
  EnableCommand = 1;
  Reboot = 1;
  PrinterList.clear();
  workFile_.clear();
  workFileOffset_ = 0;

  DataFiles.clear();

  bool textCut = false;
  const platform::ProfileFile header = quillon::OpenHeaderProfile(headerFile, &textCut);
  utf8Header_ = header.HasUtf8Bom();
  const std::string format = quillon::ReadRawValue(header, kSection, "FileFormat", "?", 3);
  if (!platform::SameTextNoCase(format, "RXF")) {
    // Not a header at all: the whole file is the data.
    DownLoadFile = headerFile;
    workFile_ = headerFile;
    return;
  }
  if (textCut) {
    // Any value could end inside the part left unread.
    Fail(kDocBadFormat, "the header text is longer than " + std::to_string(quillon::kMaxHeaderText) +
                            " bytes");
    return;
  }

  DownLoadDesc = quillon::ReadTextValue(header, kSection, "DownLoadDesc", "", 255);
  DownLoadVersion = quillon::ReadTextValue(header, kSection, "DownLoadVersion", "", 255);
  EnableCommand = header.ReadProfileInt(kSection, "EnableCommand", 1);
  Reboot = header.ReadProfileInt(kSection, "Reboot", 1);
  // Whole: a cut list would name other files, or a cut name another file.
  DownLoadFile = header.ReadString(kSection, "DownLoadFile", "");
  PrinterList = quillon::SplitPrinterNames(
      quillon::ReadTextValue(header, kSection, "DownLoadPrinter", "", 255));
  // Decoded first, so a backslash here is always a character of its own.
  BeginMessage = ExpandLineBreaks(quillon::ReadTextValue(header, kSection, "BeginMessage", "", 1024));
  DoneMessage = ExpandLineBreaks(quillon::ReadTextValue(header, kSection, "DoneMessage", "", 1024));
  ReadPrinters(header);
  HeaderValid = 1;

  if (DownLoadFile.empty()) {
    if (!StripHeader(headerFile)) {
      // No data mark: nothing that could be sent.
      Fail(kDocBadFormat, "the header has no data mark (0x1A) and names no data files");
      return;
    }
    DownLoadFile = headerFile;
    return;
  }
  DataFiles = quillon::SplitDataFileNames(DownLoadFile);
  if (DataFiles.size() > kMaxDataFiles) {
    Fail(kDocBadFormat, "the header names " + std::to_string(DataFiles.size()) +
                            " data files, more than " + std::to_string(kMaxDataFiles));
  }
}

void TDownDocFile::ReadPrinters(const platform::ProfileFile& header) {
  PrinterTable.clear();
  for (const std::string& key : header.ReadKeys(kPrintersSection)) {
    if (PrinterTable.size() >= kMaxPackageModelRows) break;  // the rest is ignored
    const std::string value = quillon::ReadTextValue(header, kPrintersSection, key, "0", 255);
    if (value.empty()) continue;
    PrinterTable.emplace_back(platform::ToUtf8(key, quillon::HeaderEncoding(header)), value);
  }
}

// The data of an embedded-data header begin after the first 0x1A. Instead of
// rewriting the working copy, the load starts reading there.
bool TDownDocFile::StripHeader(const std::string& headerFile) {
  const std::int64_t mark = quillon::FindFirstByte(headerFile, 0x1A);
  if (mark < 0) return false;
  workFile_ = headerFile;
  workFileOffset_ = static_cast<std::uint64_t>(mark) + 1;
  return true;
}

// The path of a data file named by the header, or "" when the name would
// take data from outside the package: an absolute name, one that climbs out
// of the package's folder, or a link leading out of it.
std::string TDownDocFile::DataFilePath(const std::string& raw) {
  const std::string name = platform::BackslashesToSlashes(raw, Encoding());
  if (name.empty() || name.front() == '/') return {};
  const std::string path = quillon::ResolveIgnoringCase(dataDir_, name);
  if (!IsBelow(path, dataDir_)) return {};
  char realFile[PATH_MAX], realDir[PATH_MAX];
  if (::realpath(path.c_str(), realFile) && ::realpath(dataDir_.c_str(), realDir) &&
      !IsBelow(realFile, realDir)) {
    return {};
  }
  return path;
}

// Every file is measured first and read afterwards, one open at a time: a
// long list never holds many descriptors, and a file that is not the one
// measured when it is read refuses the package.
bool TDownDocFile::MeasureData(PendingData& d) {
  ReleaseData();
  std::vector<Piece>& pieces = d.pieces;
  bool& private_ = d.mapped;
  std::uint64_t& total = d.total;
  pieces.clear();
  private_ = false;  // the data are one file of our own working folder
  if (!workFile_.empty() && !plainPackage_.empty()) {
    // The working file holds a plain package's header text only: its data
    // are read from the package.
    pieces.push_back({plainPackage_, fs::path(plainPackage_).filename().string(), workFileOffset_, 0, 0, 0});
  } else if (!workFile_.empty()) {
    // The working file itself; its path is not split, whatever it holds.
    pieces.push_back({workFile_, kWorkFileName, workFileOffset_, 0, 0, 0});
    private_ = true;
  } else {
    pieces.reserve(DataFiles.size());
    for (const std::string& raw : DataFiles) {
      const std::string label = platform::ToUtf8(raw, Encoding());
      const std::string path = DataFilePath(raw);
      if (path.empty()) {
        Fail(kDocBadFormat, "data file \"" + label + "\" lies outside the package");
        return false;
      }
      pieces.push_back({path, label, 0, 0, 0, 0});
    }
    private_ = pieces.size() == 1 && IsBelow(pieces.front().path, WorkDir);
  }
  total = 0;
  for (Piece& p : pieces) {
    if (platform::UnpackCancelRequested()) {
      Fail(kDocCancelled, "stopped on request");
      return false;
    }
    const DataFile f = OpenDataFile(p.path, p.offset);
    if (!f.fd.ok()) {
      Fail(kDocBadFormat, workFile_.empty()
                              ? "data file \"" + p.label + "\" is missing or not a regular file"
                              : std::string("the package holds no data"));
      return false;
    }
    p.size = f.size;
    p.dev = f.dev;
    p.ino = f.ino;
    // Saturated: past the limit the sum only has to stay past it.
    total = std::min(total + std::min(p.size, kMaxPackageData + 1), kMaxPackageData + 1);
  }
  if (platform::UnpackCancelRequested()) {
    Fail(kDocCancelled, "stopped on request");
    return false;
  }
  if (total == 0) {
    // An empty job would still reset the printer: refused.
    Fail(kDocBadFormat, "the package holds no data");
    return false;
  }
  if (total > kMaxPackageData) {
    // The job stream cannot announce this length.
    std::uint64_t exact = 0;
    for (const Piece& p : pieces) exact = p.size > UINT64_MAX - exact ? UINT64_MAX : exact + p.size;
    Fail(kDocBadFormat, "the data are " + std::to_string(exact) + " bytes, more than " +
                            std::to_string(kMaxPackageData));
    return false;
  }
  return true;
}

void TDownDocFile::ReadData(const PendingData& d) {
  const std::vector<Piece>& pieces = d.pieces;
  const bool private_ = d.mapped;
  const std::uint64_t total = d.total;
  if (private_ && g_alloc == std::malloc) {
    const DataFile f = Reopen(pieces.front());
    const Mapping m = MapData(f);
    if (m.base) {
      mapBase_ = m.base;
      mapLength_ = m.length;
      DataBuffer = m.data;
      DataSize = static_cast<std::uint32_t>(total);
      return;
    }
  }
  unsigned char* block = nullptr;
  if (g_alloc == std::malloc && total >= kHugePage) {
    // Filled at once by the reads below: in huge pages the block costs a
    // few faults instead of one per 4 KiB page (that cost as much as the
    // read itself).
    const size_t length = static_cast<size_t>((total + kHugePage - 1) / kHugePage * kHugePage);
    void* p = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p != MAP_FAILED) {
      mapBase_ = p;
      mapLength_ = length + kHugePage;
      const auto at = reinterpret_cast<std::uintptr_t>(p);
      block = reinterpret_cast<unsigned char*>((at + kHugePage - 1) / kHugePage * kHugePage);
      ::madvise(block, length, MADV_HUGEPAGE);  // a hint: without it, small pages
    }
  } else {
    block = static_cast<unsigned char*>(g_alloc(static_cast<size_t>(total)));
  }
  if (!block) {
    Fail(kDocCannotCopy, "no memory for " + std::to_string(total) + " bytes of data");
    return;
  }
  DataBuffer = block;
  std::uint64_t at = 0;
  for (const Piece& p : pieces) {
    if (p.size == 0) continue;
    const DataFile f = Reopen(p);
    if (!f.fd.ok()) {
      Fail(kDocBadFormat, "data file \"" + p.label + "\" changed while the package was read");
      return;
    }
    const std::uint64_t got = ReadAt(f.fd.get(), block + at, p.size, p.offset);
    if (got != p.size) {
      // Changed while read, or unreadable: partial firmware is never sent.
      Fail(kDocBadFormat, "data file \"" + p.label + "\" is shorter than expected");
      return;
    }
    at += got;
  }
  DataSize = static_cast<std::uint32_t>(at);
}

void TDownDocFile::CopyIcons() const {
  quillon::CopyIcons(WorkDir, iconFolder_.empty() ? DefaultIconFolder() : iconFolder_);
}
