#include "platform/Cabinet.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mspack.h>

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "platform/CabinetChecksum.h"
#include "platform/CabinetMszip.h"
#include "platform/MspackSystem.h"
#include "platform/UniqueFd.h"
#include "platform/UnpackLimits.h"

namespace platform {
namespace {

struct CabDecompressor {
  mscab_decompressor* d = mspack_create_cab_decompressor(MspackFileSystem());
  ~CabDecompressor() { if (d) mspack_destroy_cab_decompressor(d); }
};

struct OpenCabinet {
  mscab_decompressor* d;
  mscabd_cabinet* cab;
  ~OpenCabinet() { if (cab) d->close(d, cab); }
};

Error ErrorOf(int mspackError, const UnpackBudget& budget, const std::string& what) {
  switch (budget.Stopped()) {
    case UnpackStop::kCancelled:
      return Error::Of(CAB_ERROR_OPERATION_ABORTED, what + ": stopped on request");
    case UnpackStop::kTooLarge:
      return Error::Of(CAB_ERROR_TOO_LARGE, what + ": the cabinet unpacks to more than " +
                                                std::to_string(budget.WriteLimit()) + " bytes");
    case UnpackStop::kReadTooMuch:
      return Error::Of(CAB_ERROR_INVALID_DATA, what + ": the cabinet makes the decoder read its data over and over");
    case UnpackStop::kNone: break;
  }
  switch (mspackError) {
    case MSPACK_ERR_OK: return Error::Ok();
    case MSPACK_ERR_OPEN: return Error::Of(CAB_ERROR_FILE_NOT_FOUND, what + ": cannot be opened");
    case MSPACK_ERR_NOMEMORY: return Error::Of(CAB_ERROR_NOT_ENOUGH_MEMORY, what + ": out of memory");
    case MSPACK_ERR_WRITE: return Error::Of(CAB_ERROR_WRITE_FAULT, what + ": cannot be written");
    case MSPACK_ERR_SIGNATURE: return Error::Of(CAB_ERROR_INVALID_DATA, what + ": not a cabinet");
    case MSPACK_ERR_CHECKSUM: return Error::Of(CAB_ERROR_INVALID_DATA, what + ": checksum mismatch");
    case MSPACK_ERR_DECRUNCH: return Error::Of(CAB_ERROR_INVALID_DATA, what + ": damaged compressed data");
    case MSPACK_ERR_DATAFORMAT: return Error::Of(CAB_ERROR_INVALID_DATA, what + ": damaged cabinet structure");
    default:
      return Error::Of(CAB_ERROR_INVALID_DATA, what + ": unreadable (libmspack error " +
                                                   std::to_string(mspackError) + ")");
  }
}

std::uint64_t SizeOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// The members in the order the decoder reads them: by folder, then by
// offset, so no folder is decoded twice.
std::vector<mscabd_file*> ExtractionOrder(mscabd_cabinet* cab) {
  std::unordered_map<const mscabd_folder*, unsigned> folderIndex;
  unsigned n = 0;
  for (mscabd_folder* f = cab->folders; f; f = f->next) folderIndex.emplace(f, n++);
  std::vector<mscabd_file*> files;
  for (mscabd_file* f = cab->files; f; f = f->next) files.push_back(f);
  std::stable_sort(files.begin(), files.end(), [&](const mscabd_file* a, const mscabd_file* b) {
    const unsigned fa = folderIndex[a->folder], fb = folderIndex[b->folder];
    return fa != fb ? fa < fb : a->offset < b->offset;
  });
  return files;
}

MszipFolder MszipOf(const CabinetLayout& layout, std::size_t i) {
  const CabinetFolderBlocks& b = layout.folders[i];
  return MszipFolder{&b, static_cast<unsigned>(i), b.first, b.count, layout.blockReserve};
}

bool IsMszip(const CabinetFolderBlocks& b) {
  return (b.compression & kCabCompressionMask) == kCabCompressionMszip;
}

// The MSZIP folders that zlib decodes instead of libmspack: those of a
// cabinet standing alone (no folder continues in another cabinet) whose
// folder table was read the same way by both.
std::unordered_map<const mscabd_folder*, MszipFolder> MszipFolders(const mscabd_cabinet* cab,
                                                                   const CabinetLayout& layout) {
  std::unordered_map<const mscabd_folder*, MszipFolder> out;
  if (!layout.complete || cab->base_offset != 0 ||
      (cab->flags & (MSCAB_HDR_PREVCAB | MSCAB_HDR_NEXTCAB)) != 0) {
    return out;
  }
  std::size_t i = 0;
  for (const mscabd_folder* f = cab->folders; f; f = f->next, ++i) {
    if (i >= layout.folders.size()) return {};
    const CabinetFolderBlocks& b = layout.folders[i];
    if (static_cast<unsigned>(f->comp_type) != b.compression ||
        static_cast<unsigned>(f->num_blocks) != b.count) {
      return {};
    }
    if (IsMszip(b)) out.emplace(f, MszipOf(layout, i));
  }
  if (i != layout.folders.size()) return {};
  return out;
}

// Writes one member of an MSZIP folder to target, created as libmspack's
// file layer creates it.
Error ExtractMszip(MszipFolderReader& reader, const MszipFolder& folder, const mscabd_file* f,
                   const std::string& target) {
  UniqueFd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
  struct stat st;
  if (!out.ok() || ::fstat(out.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return Error::Of(CAB_ERROR_WRITE_FAULT, "cannot be written");
  }
  Error err = reader.Extract(folder, f->offset, f->length, out.get());
  if (out.CloseChecked() != 0 && !err.Failed()) err = Error::FromErrno(CAB_ERROR_WRITE_FAULT, "cannot be written");
  return err;
}

unsigned Walk(const std::string& cabinet, CabinetCallbackFn callback, void* context, Error& error) {
  const std::uint64_t size = SizeOf(cabinet);
  UnpackBudget budget(UnpackByteLimit(size), kUnpackReadPasses * size + kUnpackReadSlack);
  CabDecompressor dec;
  if (!dec.d) {
    error = Error::Of(CAB_ERROR_NOT_ENOUGH_MEMORY, "no cabinet decompressor");
    return error.code;
  }
  CabinetLayout layout;
  error = CheckCabinetBlocks(cabinet, budget.WriteLimit(), &layout);
  if (error.Failed()) return error.code;
  OpenCabinet cab{dec.d, dec.d->open(dec.d, cabinet.c_str())};
  if (!cab.cab) {
    const int err = dec.d->last_error(dec.d);
    error = ErrorOf(err == MSPACK_ERR_OK ? MSPACK_ERR_DATAFORMAT : err, budget, "cabinet");
    return error.code;
  }

  const std::vector<mscabd_file*> files = ExtractionOrder(cab.cab);
  std::uint64_t announced = 0;
  for (const mscabd_file* f : files) announced += f->length;
  if (files.size() > kMaxCabinetMembers) {
    error = Error::Of(CAB_ERROR_INVALID_DATA, "the cabinet holds " + std::to_string(files.size()) +
                                                  " members, more than " +
                                                  std::to_string(kMaxCabinetMembers));
    return error.code;
  }
  if (announced > budget.WriteLimit()) {
    error = Error::Of(CAB_ERROR_TOO_LARGE, "the cabinet's members announce " +
                                               std::to_string(announced) + " bytes, more than " +
                                               std::to_string(budget.WriteLimit()));
    return error.code;
  }

  const auto mszip = MszipFolders(cab.cab, layout);
  const bool anyMszip = std::any_of(layout.folders.begin(), layout.folders.end(), IsMszip);
  UniqueFd cabinetFd(anyMszip ? OpenRegularFile(cabinet) : -1);
  MszipFolderReader reader(cabinetFd.get());

  CabinetInfo info{cabinet.c_str(), cab.cab->set_id, cab.cab->set_index};
  if (callback(context, SPFILENOTIFY_CABINETINFO, reinterpret_cast<std::uintptr_t>(&info), 0) != 0) {
    error = Error::Of(CAB_ERROR_OPERATION_ABORTED, "the walk was ended by its caller");
    return error.code;
  }

  // A block failing its checksum refuses the whole cabinet, as when it is
  // found before extraction: what was written of it is removed again.
  std::vector<std::string> written;
  const auto refuseDamaged = [&](const Error& cause) {
    for (const std::string& path : written) ::unlink(path.c_str());
    error = cause;
    return static_cast<unsigned>(error.code);
  };
  for (mscabd_file* f : files) {
    if (!budget.Check()) {
      if (!error.Failed()) error = ErrorOf(MSPACK_ERR_OK, budget, "cabinet");
      return error.code;
    }
    const std::string stored = f->filename ? f->filename : "";
    FileInCabinetInfo member{stored.c_str(), f->length, static_cast<std::uint16_t>(f->attribs),
                             (f->attribs & MSCAB_ATTRIB_UTF_NAME) != 0, std::string()};
    const unsigned op = callback(context, SPFILENOTIFY_FILEINCABINET,
                                 reinterpret_cast<std::uintptr_t>(&member),
                                 reinterpret_cast<std::uintptr_t>(cabinet.c_str()));
    if (op == FILEOP_ABORT) {
      if (!error.Failed()) error = Error::Of(CAB_ERROR_OPERATION_ABORTED, "the walk was ended by its caller");
      return error.code;
    }
    if (op != FILEOP_DOIT || member.FullTargetName.empty()) continue;

    const auto z = mszip.find(f->folder);
    Error err;
    if (z != mszip.end() && cabinetFd.ok()) {
      err = ExtractMszip(reader, z->second, f, member.FullTargetName);
      if (budget.Stopped() != UnpackStop::kNone) {
        err = ErrorOf(MSPACK_ERR_OK, budget, stored);
      } else if (err.Failed()) {
        err.detail = stored + ": " + err.detail;
      }
    } else {
      err = ErrorOf(dec.d->extract(dec.d, f, member.FullTargetName.c_str()), budget, stored);
    }
    struct stat st;
    if (!err.Failed() && (::stat(member.FullTargetName.c_str(), &st) != 0 ||
                          static_cast<std::uint64_t>(st.st_size) != f->length)) {
      err = Error::Of(CAB_ERROR_WRITE_FAULT, stored + ": cut short");  // last block not on disk
    }
    if (err.Failed()) {
      // A member cut short by damaged data must not be taken for whole.
      ::unlink(member.FullTargetName.c_str());
      if (reader.ChecksumFailed()) return refuseDamaged(err);
      if (!error.Failed()) error = err;
    } else {
      written.push_back(member.FullTargetName);
    }
    FilePaths paths{member.FullTargetName.c_str(), member.NameInCabinet,
                    static_cast<unsigned>(err.code)};
    if (callback(context, SPFILENOTIFY_FILEEXTRACTED, reinterpret_cast<std::uintptr_t>(&paths), 0) != 0) {
      if (!error.Failed()) error = Error::Of(CAB_ERROR_OPERATION_ABORTED, "the walk was ended by its caller");
      return error.code;
    }
    // A stop or a passed limit ends the walk; the members after it would
    // fail the same way.
    if (budget.Stopped() != UnpackStop::kNone) return error.code;
  }
  // The blocks of MSZIP folders no member reached are checked all the same:
  // a damaged cabinet is refused wherever the damage lies.
  for (std::size_t i = 0; i < layout.folders.size() && !error.Failed(); ++i) {
    if (!IsMszip(layout.folders[i])) continue;
    Error err = cabinetFd.ok() ? reader.VerifyRest(MszipOf(layout, i))
                               : Error::Of(CAB_ERROR_FILE_NOT_FOUND, "cannot be opened");
    if (budget.Stopped() != UnpackStop::kNone) return refuseDamaged(ErrorOf(MSPACK_ERR_OK, budget, "cabinet"));
    if (err.Failed()) return refuseDamaged(Error::Of(err.code, "cabinet: " + err.detail));
  }
  return static_cast<unsigned>(error.code);
}

}  // namespace

unsigned IterateCabinetFile(const std::string& cabinet, CabinetCallbackFn callback,
                            void* context, Error* error) {
  Error local;
  const unsigned rc = Walk(cabinet, callback, context, error ? *error : local);
  return rc;
}

}  // namespace platform
