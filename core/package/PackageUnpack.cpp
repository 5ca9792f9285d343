#include "core/package/PackageUnpack.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/Cabinet.h"
#include "platform/LzExpand.h"
#include "platform/TempNames.h"
#include "platform/TextCodec.h"
#include "platform/Text.h"
#include "platform/UniqueFd.h"

namespace fs = std::filesystem;

namespace {

constexpr int kErrorInvalidParameter = 87;

// State of one walk: the destination folder, with a trailing "/".
struct CabinetWalk {
  const char* destination;
  std::string folder;
};

unsigned FileInCabinet(CabinetWalk& walk, platform::FileInCabinetInfo& member) {
  const std::string stored = member.NameInCabinet ? member.NameInCabinet : "";
  const std::string name = member.NameIsUtf8 ? [&] {
    std::string s = stored;
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
  }() : platform::BackslashesToSlashes(stored, platform::TextEncoding::kCp932);
  // A name that climbs out of the working folder is never written.
  if (!quillon::IsSafeMemberName(name)) return platform::FILEOP_SKIP;

  const std::string target = walk.folder + name;
  member.FullTargetName = target;
  const std::string dir = target.substr(0, target.rfind('/'));
  struct stat st;
  if (::lstat(dir.c_str(), &st) == 0) {
    return S_ISDIR(st.st_mode) ? platform::FILEOP_DOIT : platform::FILEOP_SKIP;
  }
  // One level only: a member two folders down whose parent is missing is
  // skipped.
  return ::mkdir(dir.c_str(), 0700) == 0 ? platform::FILEOP_DOIT : platform::FILEOP_SKIP;
}

}  // namespace

extern "C" int IterateCabinet(const char* cabinet, const char* destination) {
  if (!cabinet || !destination) return kErrorInvalidParameter;
  CabinetWalk walk{destination, std::string()};
  return static_cast<int>(platform::IterateCabinetFile(cabinet, quillon::CabinetCallback, &walk));
}

namespace quillon {

unsigned CabinetCallback(void* context, unsigned notification, std::uintptr_t param1,
                         std::uintptr_t) {
  auto* walk = static_cast<CabinetWalk*>(context);
  switch (notification) {
    case platform::SPFILENOTIFY_CABINETINFO:
      walk->folder = walk->destination;
      if (walk->folder.empty() || walk->folder.back() != '/') walk->folder += '/';
      return 0;
    case platform::SPFILENOTIFY_FILEINCABINET:
      return FileInCabinet(*walk, *reinterpret_cast<platform::FileInCabinetInfo*>(param1));
    default:
      return 0;
  }
}

bool IsSafeMemberName(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.back() == '/') return false;
  if (name.size() >= 2 && name[1] == ':') return false;  // drive letter
  if (name.find('\0') != std::string::npos) return false;
  size_t start = 0;
  for (;;) {
    const size_t end = name.find('/', start);
    const std::string part = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part == "..") return false;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return true;
}

platform::Error ExtractCabinet(const std::string& cabinet, const std::string& folder) {
  CabinetWalk walk{folder.c_str(), std::string()};
  platform::Error error;
  if (platform::IterateCabinetFile(cabinet, quillon::CabinetCallback, &walk, &error) != 0) {
    if (!error.Failed()) error = platform::Error::Of(platform::CAB_ERROR_INVALID_DATA, "cabinet unreadable");
    std::error_code ec;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
      std::error_code rm;
      fs::remove_all(it->path(), rm);
    }
  }
  return error;
}

int ExpandFile(const std::string& source, const std::string& target, std::uint64_t maxBytes) {
  return platform::LzExpandFile(source, target, maxBytes);
}

bool HasLzSignature(const std::string& path) {
  platform::UniqueFd fd(platform::OpenRegularFile(path));
  unsigned char head[4];
  return fd.ok() && ::pread(fd.get(), head, sizeof head, 0) == 4 && std::memcmp(head, "SZDD", 4) == 0;
}


void CopyIcons(const std::string& folder, const std::string& iconFolder) {
  std::error_code ec;
  bool made = false;
  for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() < 4 || !platform::SameTextNoCase(name.substr(name.size() - 4), ".ico")) continue;
    std::error_code st;
    if (!it->is_regular_file(st)) continue;
    std::error_code cp;
    if (!made) {
      fs::create_directories(iconFolder, cp);
      made = true;
    }
    fs::copy_file(it->path(), fs::path(iconFolder) / name, fs::copy_options::overwrite_existing, cp);
  }
}

std::string ResolveIgnoringCase(const std::string& folder, const std::string& relative) {
  fs::path exact = fs::path(folder) / relative;
  std::error_code ec;
  if (fs::exists(exact, ec)) return exact.string();

  fs::path at(folder);
  for (const fs::path& part : fs::path(relative)) {
    const std::string want = part.string();
    fs::path next = at / part;
    if (!fs::exists(next, ec) && want != "." && want != "..") {
      std::vector<std::string> matches;
      for (auto it = fs::directory_iterator(at, ec); !ec && it != fs::directory_iterator();
           it.increment(ec)) {
        const std::string have = it->path().filename().string();
        if (platform::SameTextNoCase(have, want)) matches.push_back(have);
      }
      if (matches.empty()) return exact.string();
      std::sort(matches.begin(), matches.end());
      next = at / matches.front();
    }
    at = next;
  }
  return at.string();
}

}  // namespace quillon
