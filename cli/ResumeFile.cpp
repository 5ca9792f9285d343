#include "cli/ResumeFile.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fstream>
#include <string>

#include "core/transfer/PrinterTarget.h"

namespace cli {

bool SucceededPrinters(const std::string& path, std::set<std::string>& keys, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read the earlier result " + path;
    return false;
  }
  for (std::string line; std::getline(in, line);) {
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line));
    if (!doc.isObject()) continue;
    const QJsonObject o = doc.object();
    const QJsonValue printer = o.value(QLatin1String("printer"));
    const QJsonValue exit = o.value(QLatin1String("exit"));
    if (printer.isString() && exit.isDouble() && exit.toInt(-1) == 0)
      keys.insert(PrinterTarget::IdentityOfText(printer.toString().toStdString()));
  }
  return true;
}

}  // namespace cli
