#include "core/history/PackageDigest.h"

#include <QCryptographicHash>

#include "core/package/DownDocFile.h"

namespace quillon {

std::string PackageDataSha256(const TDownDocFile& package) {
  if (!package.DataBuffer || package.DataSize == 0) return std::string();
  return QCryptographicHash::hash(
             QByteArrayView(reinterpret_cast<const char*>(package.DataBuffer),
                            static_cast<qsizetype>(package.DataSize)),
             QCryptographicHash::Sha256)
      .toHex()
      .toStdString();
}

}  // namespace quillon
