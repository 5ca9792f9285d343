#include "platform/Cabinet.h"

#include <sys/stat.h>
#include <unistd.h>

#include <mspack.h>

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "platform/CabinetChecksum.h"
#include "platform/MspackSystem.h"
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

unsigned Walk(const std::string& cabinet, CabinetCallbackFn callback, void* context, Error& error) {
  const std::uint64_t size = SizeOf(cabinet);
  UnpackBudget budget(UnpackByteLimit(size), kUnpackReadPasses * size + kUnpackReadSlack);
  CabDecompressor dec;
  if (!dec.d) {
    error = Error::Of(CAB_ERROR_NOT_ENOUGH_MEMORY, "no cabinet decompressor");
    return error.code;
  }
  error = CheckCabinetBlocks(cabinet, budget.WriteLimit());
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

  CabinetInfo info{cabinet.c_str(), cab.cab->set_id, cab.cab->set_index};
  if (callback(context, SPFILENOTIFY_CABINETINFO, reinterpret_cast<std::uintptr_t>(&info), 0) != 0) {
    error = Error::Of(CAB_ERROR_OPERATION_ABORTED, "the walk was ended by its caller");
    return error.code;
  }

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

    Error err = ErrorOf(dec.d->extract(dec.d, f, member.FullTargetName.c_str()), budget, stored);
    struct stat st;
    if (!err.Failed() && (::stat(member.FullTargetName.c_str(), &st) != 0 ||
                          static_cast<std::uint64_t>(st.st_size) != f->length)) {
      err = Error::Of(CAB_ERROR_WRITE_FAULT, stored + ": cut short");  // last block not on disk
    }
    if (err.Failed()) {
      // A member cut short by damaged data must not be taken for whole.
      ::unlink(member.FullTargetName.c_str());
      if (!error.Failed()) error = err;
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
