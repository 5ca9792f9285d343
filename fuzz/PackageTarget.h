#pragma once
// One package form per target: the input is written as the package and
// opened by the document, with every write checked. After each input the
// working folder must be gone, icons only *.ico, and the document's outcome
// consistent (a refusal holds no data, a success holds some).
#include <sys/stat.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/package/DownDocFile.h"
#include "fuzz/FuzzSupport.h"

namespace fuzz {

inline bool IsIcon(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".ico";
}

inline void OpenPackage(const std::string& name, const uint8_t* data, size_t size) {
  const std::string icons = Root() + "/icons";
  static const bool made = (::mkdir(icons.c_str(), 0700), true);
  (void)made;
  const std::string path = Put(name, data, size);
  {
    WriteGuard guard;
    TDownDocFile doc(path, icons);
    if (doc.DataSize > quillon::kMaxPackageData) std::abort();
    if (doc.DataSize && !doc.DataBuffer) std::abort();
    switch (doc.Status) {
      case quillon::kDocOk:
        if (doc.DataSize == 0) std::abort();  // nothing empty is ever sent
        break;
      case quillon::kDocCannotOpen: case quillon::kDocCannotCopy:
      case quillon::kDocBadFormat: case quillon::kDocCancelled:
        if (doc.DataSize != 0 || doc.DataBuffer) std::abort();  // nothing partial either
        if (doc.StatusDetail.empty()) std::abort();
        break;
      default:
        std::abort();
    }
    if (doc.PrinterTable.size() > quillon::kMaxPackageModelRows) std::abort();
  }
  if (!Entries(TmpDir()).empty()) std::abort();  // working folder left behind
  for (const std::string& n : Entries(icons)) {
    if (!IsIcon(n)) std::abort();
  }
  for (const std::string& n : Entries(Root())) {
    if (n != "tmp" && n != "icons" && n != name) std::abort();
  }
  Clear(icons);
}

}  // namespace fuzz
