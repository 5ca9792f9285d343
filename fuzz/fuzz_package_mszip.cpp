// The MSZIP decoder (zlib) against libmspack's own: the input is a cabinet,
// walked as packages are (MSZIP folders inflated by zlib). Every member the
// walk reports written has exactly its announced size, nothing of a failed
// member stays, and where the walk succeeds libmspack must give the same
// members byte for byte. The fuzz build does not insist on block checksums.
#include <sys/stat.h>
#include <unistd.h>

#include <mspack.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/Cabinet.h"
#include "platform/MspackSystem.h"
#include "platform/UnpackLimits.h"

namespace {

using Member = std::tuple<std::string, std::uint32_t, std::string>;  // name, size, bytes

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Walk {
  std::string dest;
  unsigned next = 0;
  std::string name;
  std::uint32_t size = 0;
  std::vector<Member> written;
};

unsigned Callback(void* context, unsigned notification, std::uintptr_t param1, std::uintptr_t) {
  auto* w = static_cast<Walk*>(context);
  if (notification == platform::SPFILENOTIFY_FILEINCABINET) {
    auto* m = reinterpret_cast<platform::FileInCabinetInfo*>(param1);
    // Numbered targets: the walk's names are not what is tested here.
    m->FullTargetName = w->dest + "/" + std::to_string(w->next++);
    w->name = m->NameInCabinet;
    w->size = m->FileSize;
    return platform::FILEOP_DOIT;
  }
  if (notification == platform::SPFILENOTIFY_FILEEXTRACTED) {
    auto* p = reinterpret_cast<platform::FilePaths*>(param1);
    struct stat st;
    const bool exists = ::stat(p->Target, &st) == 0;
    if (p->Win32Error != 0) {
      if (exists) std::abort();  // a failed member is never kept
    } else {
      if (!exists || static_cast<std::uint64_t>(st.st_size) != w->size) std::abort();
      w->written.emplace_back(w->name, w->size, ReadAll(p->Target));
    }
  }
  return 0;
}

// The members as libmspack alone extracts them (in folder order, within the
// same budget); false when it refuses any.
bool MspackMembers(const std::string& cabinet, const std::string& dest, std::vector<Member>& out) {
  mscab_decompressor* d = mspack_create_cab_decompressor(platform::MspackFileSystem());
  if (!d) return false;
  // The walk does not check checksums in the fuzz build; libmspack skips
  // them for MSZIP blocks in its repair mode, which also mends a damaged
  // block instead of failing: a block that only libmspack finds damaged
  // shows as a difference.
  d->set_param(d, MSCABD_PARAM_FIXMSZIP, 1);
  bool ok = false;
  if (mscabd_cabinet* cab = d->open(d, cabinet.c_str())) {
    struct stat st;
    const std::uint64_t size = ::stat(cabinet.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    platform::UnpackBudget budget(platform::UnpackByteLimit(size),
                                  platform::kUnpackReadPasses * size + platform::kUnpackReadSlack);
    std::unordered_map<const mscabd_folder*, unsigned> index;
    unsigned n = 0;
    bool mszip = false;
    for (mscabd_folder* f = cab->folders; f; f = f->next) {
      index.emplace(f, n++);
      mszip = mszip || (f->comp_type & 0x000F) == MSCAB_COMP_MSZIP;
    }
    std::vector<mscabd_file*> files;
    for (mscabd_file* f = cab->files; f; f = f->next) files.push_back(f);
    std::stable_sort(files.begin(), files.end(), [&](const mscabd_file* a, const mscabd_file* b) {
      const unsigned fa = index[a->folder], fb = index[b->folder];
      return fa != fb ? fa < fb : a->offset < b->offset;
    });
    ok = mszip;  // only MSZIP folders differ between the two
    unsigned i = 0;
    for (mscabd_file* f : files) {
      if (!ok) break;
      const std::string target = dest + "/" + std::to_string(i++);
      ok = d->extract(d, f, target.c_str()) == MSPACK_ERR_OK;
      if (ok) out.emplace_back(f->filename ? f->filename : "", f->length, ReadAll(target));
    }
    d->close(d, cab);
  }
  mspack_destroy_cab_decompressor(d);
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string cabinet = fuzz::Put("P.RXV", data, size);
  const std::string ours = fuzz::Root() + "/ours", theirs = fuzz::Root() + "/theirs";
  static const bool made = (::mkdir(ours.c_str(), 0700), ::mkdir(theirs.c_str(), 0700), true);
  (void)made;
  {
    fuzz::WriteGuard guard;
    Walk walk{ours, 0, {}, 0, {}};
    platform::Error error;
    const unsigned rc = platform::IterateCabinetFile(cabinet, Callback, &walk, &error);
    if ((rc != 0) != error.Failed() || (rc != 0 && error.detail.empty())) std::abort();
    std::vector<Member> reference;
    if (rc == 0 && MspackMembers(cabinet, theirs, reference)) {
      std::sort(walk.written.begin(), walk.written.end());
      std::sort(reference.begin(), reference.end());
      if (walk.written != reference) std::abort();  // the decoders disagree
    }
  }
  fuzz::Clear(ours);
  fuzz::Clear(theirs);
  return 0;
}
