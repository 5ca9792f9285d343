#include "core/command/FileSelection.h"

namespace quillon {

QStringList OpenDialogFilters(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& p : patterns) p = p.trimmed();
    // The dialog shows the patterns after the caption; a caption that
    // already ends in its own "(...)" would show them twice.
    QString caption = parts[i].trimmed();
    const qsizetype open = caption.lastIndexOf(QLatin1Char('('));
    if (caption.endsWith(QLatin1Char(')')) && open > 0) caption = caption.left(open).trimmed();
    out << caption + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return out;
}

std::string FolderOfFile(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string PackageStateText(const std::string& description, const std::string& version) {
  return description + " " + version;
}

}  // namespace quillon
