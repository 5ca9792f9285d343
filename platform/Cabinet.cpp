#include "platform/Cabinet.h"

#include <sys/stat.h>
#include <unistd.h>

#include <mspack.h>

#include "platform/CabinetChecksum.h"
#include "platform/MspackSystem.h"

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

unsigned ErrorOf(int mspackError) {
  switch (mspackError) {
    case MSPACK_ERR_OK: return 0;
    case MSPACK_ERR_OPEN: return CAB_ERROR_FILE_NOT_FOUND;
    case MSPACK_ERR_NOMEMORY: return CAB_ERROR_NOT_ENOUGH_MEMORY;
    case MSPACK_ERR_WRITE: return CAB_ERROR_WRITE_FAULT;
    default: return CAB_ERROR_INVALID_DATA;
  }
}

}  // namespace

unsigned IterateCabinetFile(const std::string& cabinet, CabinetCallbackFn callback,
                            void* context) {
  CabDecompressor dec;
  if (!dec.d) return CAB_ERROR_NOT_ENOUGH_MEMORY;
  if (!CabinetChecksumsMatch(cabinet)) return CAB_ERROR_INVALID_DATA;
  OpenCabinet cab{dec.d, dec.d->open(dec.d, cabinet.c_str())};
  if (!cab.cab) {
    const int err = dec.d->last_error(dec.d);
    return err == MSPACK_ERR_OK ? CAB_ERROR_INVALID_DATA : ErrorOf(err);
  }

  CabinetInfo info{cabinet.c_str(), cab.cab->set_id, cab.cab->set_index};
  if (callback(context, SPFILENOTIFY_CABINETINFO, reinterpret_cast<std::uintptr_t>(&info), 0) != 0) {
    return CAB_ERROR_OPERATION_ABORTED;
  }

  unsigned result = 0;
  for (mscabd_file* f = cab.cab->files; f; f = f->next) {
    FileInCabinetInfo member{f->filename ? f->filename : "", f->length,
                             static_cast<std::uint16_t>(f->attribs),
                             (f->attribs & MSCAB_ATTRIB_UTF_NAME) != 0, std::string()};
    const unsigned op = callback(context, SPFILENOTIFY_FILEINCABINET,
                                 reinterpret_cast<std::uintptr_t>(&member),
                                 reinterpret_cast<std::uintptr_t>(cabinet.c_str()));
    if (op == FILEOP_ABORT) return CAB_ERROR_OPERATION_ABORTED;
    if (op != FILEOP_DOIT || member.FullTargetName.empty()) continue;

    unsigned err = ErrorOf(dec.d->extract(dec.d, f, member.FullTargetName.c_str()));
    struct stat st;
    if (err == 0 && (::stat(member.FullTargetName.c_str(), &st) != 0 ||
                     static_cast<std::uint64_t>(st.st_size) != f->length)) {
      err = CAB_ERROR_WRITE_FAULT;  // the last block did not reach the disk
    }
    if (err != 0) {
      // A member cut short by damaged data must not be taken for whole.
      ::unlink(member.FullTargetName.c_str());
      if (result == 0) result = err;
    }
    FilePaths paths{member.FullTargetName.c_str(), member.NameInCabinet, err};
    if (callback(context, SPFILENOTIFY_FILEEXTRACTED, reinterpret_cast<std::uintptr_t>(&paths), 0) != 0) {
      return result ? result : CAB_ERROR_OPERATION_ABORTED;
    }
  }
  return result;
}

}  // namespace platform
