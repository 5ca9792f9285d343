#pragma once
// The SHA-256 of a package's firmware data, as `quillon-cli info` shows it,
// in lower-case hex; empty for a package without data.
#include <string>

class TDownDocFile;

namespace quillon {

std::string PackageDataSha256(const TDownDocFile& package);

}  // namespace quillon
