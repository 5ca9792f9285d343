// info: what a package holds, as the download would see it.
#include <QByteArray>
#include <QCryptographicHash>

#include <fstream>
#include <string>

#include "core/app/TextUtil.h"
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/InputCheck.h"
#include "cli/JsonOut.h"
#include "cli/Output.h"
#include "core/package/DownDocFile.h"
#include "core/command/ResultMessages.h"

namespace cli {
namespace {

// The form the document reads the file as: by the extension for a
// cabinet, by the LZ signature for a compressed header file.
std::string PackageForm(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.rfind('/');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
      UpperAscii(path.substr(dot)) == ".RXV")
    return "cabinet";
  std::ifstream in(path, std::ios::binary);
  char magic[4] = {};
  if (in.read(magic, 4) && std::string(magic, 4) == "SZDD") return "compressed";
  return "plain";
}

std::string Sha256(const TDownDocFile& doc) {
  if (!doc.DataBuffer || doc.DataSize == 0) return std::string();
  return QCryptographicHash::hash(
             QByteArrayView(reinterpret_cast<const char*>(doc.DataBuffer),
                            static_cast<qsizetype>(doc.DataSize)),
             QCryptographicHash::Sha256)
      .toHex()
      .toStdString();
}

// Carriage returns of the decoded messages as line feeds for the terminal.
std::string ForTerminal(std::string text) {
  for (char& c : text) {
    if (c == '\r') c = '\n';
  }
  return text;
}

}  // namespace

int RunInfo(const Options& o) {
  // A missing file, a folder or an unreadable file is an input error, as
  // for every command; a file that is no usable package is the package's.
  std::string unusable;
  if (!PackageFileUsable(o.operand, unusable)) {
    if (o.json)
      OutLine(JsonLine().Add("package", o.operand).AddNull("status").Add("message", unusable).Text());
    ErrLine(unusable);
    return kExitInput;
  }
  const TDownDocFile doc(o.operand);
  const int status = doc.Status;
  // A package without the firmware mark is read, but the window warns.
  std::string message;
  if (status != 0)
    message = ResultText(ResultMessage(status));
  else if (doc.HeaderValid != 1)
    message = ResultText(ResultMessage(kResultNotFirmwareFormat));
  const std::string form = PackageForm(o.operand);
  const std::string sha = Sha256(doc);

  if (o.json) {
    std::string targets = "[";
    for (const std::string& t : doc.PrinterList) {
      if (targets.size() > 1) targets += ',';
      targets += JsonString(t);
    }
    targets += "]";
    std::string rows = "[";
    for (const auto& row : doc.PrinterTable) {
      if (rows.size() > 1) rows += ',';
      rows += JsonLine().Add("name", row.first).Add("value", row.second).Text();
    }
    rows += "]";
    JsonLine line;
    line.Add("package", o.operand)
        .Add("form", form)
        .Add("status", status)
        .Add("message", message)
        .Add("firmware_format", doc.HeaderValid == 1)
        .Add("description", doc.DownLoadDesc)
        .Add("version", doc.DownLoadVersion)
        .Add("enable_command", static_cast<int>(doc.EnableCommand))
        .Add("reboot", static_cast<int>(doc.Reboot))
        .AddRaw("targets", targets)
        .AddRaw("model_rows", rows)
        .Add("begin_message", doc.BeginMessage)
        .Add("done_message", doc.DoneMessage)
        .Add("data_size", doc.DataSize)
        .Add("sha256", sha);
    OutLine(line.Text());
  } else {
    OutLine("Package:         " + o.operand);
    OutLine("Form:            " + form);
    OutLine("Status:          " + std::to_string(status) + " " + message);
    OutLine("Description:     " + doc.DownLoadDesc);
    OutLine("Version:         " + doc.DownLoadVersion);
    OutLine("Command switch:  " + std::to_string(doc.EnableCommand));
    OutLine("Restart switch:  " + std::to_string(doc.Reboot));
    std::string targets;
    for (const std::string& t : doc.PrinterList) targets += (targets.empty() ? "" : ", ") + t;
    OutLine("Target models:   " + targets);
    for (const auto& row : doc.PrinterTable) OutLine("Model row:       " + row.first + "=" + row.second);
    OutLine("Begin message:   " + ForTerminal(doc.BeginMessage));
    OutLine("Done message:    " + ForTerminal(doc.DoneMessage));
    OutLine("Data size:       " + std::to_string(doc.DataSize));
    OutLine("Data SHA-256:    " + sha);
  }
  if (status != 0) {
    if (!o.json) ErrLine(message);
    return kExitPackage;
  }
  return kExitOk;
}

}  // namespace cli
