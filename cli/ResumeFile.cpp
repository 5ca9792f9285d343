#include "cli/ResumeFile.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

#include "core/transfer/PrinterTarget.h"

using quillon::PrinterTarget;

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

bool ResumeDone(const std::string& path, const std::set<std::string>& batch,
                std::set<std::string>& done, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  struct stat file {};
  if (!in || ::stat(path.c_str(), &file) != 0) {
    error = "cannot read the earlier result " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat out {};
  if (::fstat(1, &out) == 0 && out.st_dev == file.st_dev && out.st_ino == file.st_ino) {
    error = "--resume " + path +
            " is the file the output goes to (the shell empties it before the run): resume from "
            "a copy, or write the output elsewhere";
    return false;
  }
  std::set<std::string> named;
  for (std::string line; std::getline(in, line);) {
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line));
    if (!doc.isObject()) continue;
    const QJsonObject o = doc.object();
    const QJsonValue printer = o.value(QLatin1String("printer"));
    if (!printer.isString()) continue;
    const std::string key = PrinterTarget::IdentityOfText(printer.toString().toStdString());
    named.insert(key);
    const QJsonValue exit = o.value(QLatin1String("exit"));
    if (exit.isDouble() && exit.toInt(-1) == 0 && batch.count(key)) done.insert(key);
  }
  if (in.bad()) {
    error = "cannot read the earlier result " + path + ": " + std::strerror(errno);
    return false;
  }
  if (named.empty()) {
    error = "the earlier result " + path +
            " holds no printer's line (empty, or not a download's --json output)";
    return false;
  }
  bool any = false;
  for (const std::string& key : named) any = any || batch.count(key) != 0;
  if (!any) {
    error = "the earlier result " + path + " names none of this batch's printers";
    return false;
  }
  return true;
}

}  // namespace cli
