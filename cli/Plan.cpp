#include "cli/Plan.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <memory>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/JsonOut.h"
#include "cli/Output.h"
#include "core/transfer/PrinterTarget.h"
#include "platform/Text.h"

using quillon::PrinterTarget;

namespace cli {
namespace {

const char kFormat[] = "quillon-plan";
constexpr int kFormatVersion = 1;

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QJsonValue& v) { return v.isString() ? v.toString().toStdString() : std::string(); }
QJsonValue OrNull(const std::string& s) { return s.empty() ? QJsonValue() : QJsonValue(Q(s)); }

std::string VersionText(const PlannedPrinter& p) {
  return p.versionBefore ? *p.versionBefore : std::string("?");
}

std::string InitText(const PlannedPrinter& p) {
  if (!p.initItems) return "settings memory kept (no restart command)";
  if (*p.initItems == 0) return "settings memory kept (initialisation items 0)";
  return "settings memory initialised (items " + std::to_string(*p.initItems) + ")";
}

}  // namespace

std::string PlanValueOf(const std::string& outcome) {
  if (outcome == "send" || outcome == "refused" || outcome == "unreachable") return outcome;
  if (outcome == "skipped") return "skip";
  if (outcome == "declined" || outcome == "busy") return "refused";
  return "not_started";
}

void PrintPlanLine(const Options& o, const PlannedPrinter& p, const std::string& packageVersion) {
  if (o.json) {
    JsonLine line;
    line.Add("schema", kSchemaDownload);
    line.Add("package", o.operand).Add("printer", p.printer).Add("route", p.route);
    line.Add("plan", p.plan);
    line.AddOrNull("model", p.model).AddOrNull("version_before", p.versionBefore);
    line.Add("version_package", packageVersion);
    line.AddOrNull("identity_source", p.identitySource).AddOrNull("init_items", p.initItems);
    line.AddOrNull("reason", p.reason);
    line.Add("exit", p.exit).Add("message", p.message).Add("detail", p.detail);
    OutLine(line.Text());
    return;
  }
  std::string text = p.printer + ": " + p.plan;
  if (p.plan == "send") {
    text += ": version " + VersionText(p) + " -> " + packageVersion + ", " + InitText(p);
  } else if (p.plan == "skip") {
    text += ": version " + VersionText(p) + " is the package's";
  } else {
    if (!p.reason.empty()) text += " (" + p.reason + ")";
    if (!p.message.empty()) text += ": " + p.message;
    if (!p.detail.empty()) text += " [" + p.detail + "]";
  }
  OutLine(text);
}

int PlanExit(const std::vector<PlannedPrinter>& printers) {
  const auto any = [&](const char* plan) {
    return std::any_of(printers.begin(), printers.end(),
                       [&](const PlannedPrinter& p) { return p.plan == plan; });
  };
  if (any("not_started")) return kExitAborted;
  if (any("refused")) return kExitRefused;
  if (any("unreachable")) return kExitPrinterOpen;
  return kExitOk;
}

bool FileSha256(const std::string& path, std::string& hex, std::string& error) {
  QFile file(Q(path));
  if (!file.open(QIODevice::ReadOnly)) {
    error = "cannot read " + path + ": " + file.errorString().toStdString();
    return false;
  }
  QCryptographicHash hash(QCryptographicHash::Sha256);
  if (!hash.addData(&file)) {
    error = "cannot read " + path + ": " + file.errorString().toStdString();
    return false;
  }
  hex = hash.result().toHex().toStdString();
  return true;
}

bool WritePlanFile(const std::string& path, const Options& o, const PlanPackage& package,
                   const std::vector<PlannedPrinter>& printers, std::string& error) {
  QJsonObject root;
  root[QStringLiteral("schema")] = QLatin1String(kSchemaPlan);
  root[QStringLiteral("format")] = QLatin1String(kFormat);
  root[QStringLiteral("format_version")] = kFormatVersion;
  QJsonObject pkg;
  pkg[QStringLiteral("path")] = Q(package.path);
  pkg[QStringLiteral("sha256")] = Q(package.sha256);
  pkg[QStringLiteral("data_sha256")] = Q(package.dataSha256);
  pkg[QStringLiteral("version")] = Q(package.version);
  root[QStringLiteral("package")] = pkg;
  // The choices that decided the plan; applying it keeps them.
  QJsonObject opts;
  opts[QStringLiteral("model")] = o.haveModel ? QJsonValue(Q(o.model)) : QJsonValue();
  opts[QStringLiteral("no_command")] = o.noCommand;
  opts[QStringLiteral("init_items")] = o.initItems >= 0 ? QJsonValue(o.initItems) : QJsonValue();
  opts[QStringLiteral("force")] = o.force;
  opts[QStringLiteral("skip_current")] = o.skipCurrent;
  opts[QStringLiteral("allow_downgrade")] = o.allowDowngrade;
  root[QStringLiteral("options")] = opts;
  QJsonArray list;
  for (const PlannedPrinter& p : printers) {
    QJsonObject e;
    e[QStringLiteral("printer")] = Q(p.printer);
    e[QStringLiteral("route")] = Q(p.route);
    e[QStringLiteral("plan")] = Q(p.plan);
    e[QStringLiteral("model")] = OrNull(p.model);
    e[QStringLiteral("line_model")] = OrNull(p.lineModel);
    QJsonObject id;
    id[QStringLiteral("address")] = Q(p.printer);
    id[QStringLiteral("model")] = OrNull(p.consoleModel);
    id[QStringLiteral("version")] = p.versionBefore ? QJsonValue(Q(*p.versionBefore)) : QJsonValue();
    id[QStringLiteral("serial")] = OrNull(p.serial);
    id[QStringLiteral("uuid")] = OrNull(p.uuid);
    id[QStringLiteral("source")] = OrNull(p.identitySource);
    e[QStringLiteral("identity")] = id;
    e[QStringLiteral("init_items")] = p.initItems ? QJsonValue(*p.initItems) : QJsonValue();
    e[QStringLiteral("reason")] = OrNull(p.reason);
    e[QStringLiteral("message")] = Q(p.message);
    e[QStringLiteral("detail")] = Q(p.detail);
    e[QStringLiteral("exit")] = p.exit;
    list.append(e);
  }
  root[QStringLiteral("printers")] = list;
  QSaveFile file(Q(path));
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(QJsonDocument(root).toJson(QJsonDocument::Indented)) < 0 || !file.commit()) {
    error = "cannot write the plan " + path + ": " + file.errorString().toStdString();
    return false;
  }
  return true;
}

namespace {

struct LoadedPlan {
  PlanPackage package;
  Options options;  // the plan's choices over the caller's output options
  std::vector<PlannedPrinter> printers;
};

bool ReadPlan(const Options& o, LoadedPlan& plan, std::string& error) {
  QFile file(Q(o.planIn));
  if (!file.open(QIODevice::ReadOnly)) {
    error = "cannot read the plan " + o.planIn + ": " + file.errorString().toStdString();
    return false;
  }
  QJsonParseError parse{};
  const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parse);
  const QJsonObject root = doc.object();
  if (!doc.isObject() || S(root.value(QStringLiteral("format"))) != kFormat ||
      root.value(QStringLiteral("format_version")).toInt() != kFormatVersion) {
    error = o.planIn + " is not a plan written by download --plan-out";
    return false;
  }
  const QJsonObject pkg = root.value(QStringLiteral("package")).toObject();
  plan.package.path = S(pkg.value(QStringLiteral("path")));
  plan.package.sha256 = S(pkg.value(QStringLiteral("sha256")));
  plan.package.version = S(pkg.value(QStringLiteral("version")));
  if (plan.package.path.empty() || plan.package.sha256.size() != 64) {
    error = o.planIn + ": the plan names no package and digest";
    return false;
  }
  plan.options = o;
  Options& po = plan.options;
  po.planIn.clear();
  po.operand = plan.package.path;
  const QJsonObject opts = root.value(QStringLiteral("options")).toObject();
  const QJsonValue model = opts.value(QStringLiteral("model"));
  po.haveModel = model.isString();
  po.model = S(model);
  po.noCommand = opts.value(QStringLiteral("no_command")).toBool();
  const QJsonValue items = opts.value(QStringLiteral("init_items"));
  po.initItems = items.isDouble() ? std::clamp(items.toInt(), 0, 7) : -1;
  po.force = opts.value(QStringLiteral("force")).toBool();
  po.skipCurrent = opts.value(QStringLiteral("skip_current")).toBool();
  po.allowDowngrade = opts.value(QStringLiteral("allow_downgrade")).toBool();
  for (const QJsonValue& v : root.value(QStringLiteral("printers")).toArray()) {
    const QJsonObject e = v.toObject();
    const QJsonObject id = e.value(QStringLiteral("identity")).toObject();
    PlannedPrinter p;
    p.printer = S(e.value(QStringLiteral("printer")));
    PrinterTarget target;
    if (p.printer.empty() || PrinterTarget::Parse(p.printer, &target).Failed()) {
      error = o.planIn + ": a printer of the plan is not a printer: \"" + p.printer + "\"";
      return false;
    }
    p.route = S(e.value(QStringLiteral("route")));
    p.plan = S(e.value(QStringLiteral("plan")));
    p.model = S(e.value(QStringLiteral("model")));
    p.lineModel = S(e.value(QStringLiteral("line_model")));
    p.consoleModel = S(id.value(QStringLiteral("model")));
    p.serial = S(id.value(QStringLiteral("serial")));
    p.uuid = S(id.value(QStringLiteral("uuid")));  // absent from plans made before
    p.identitySource = S(id.value(QStringLiteral("source")));
    if (id.value(QStringLiteral("version")).isString())
      p.versionBefore = S(id.value(QStringLiteral("version")));
    if (e.value(QStringLiteral("init_items")).isDouble())
      p.initItems = e.value(QStringLiteral("init_items")).toInt();
    p.reason = S(e.value(QStringLiteral("reason")));
    p.message = S(e.value(QStringLiteral("message")));
    p.detail = S(e.value(QStringLiteral("detail")));
    p.exit = e.value(QStringLiteral("exit")).toInt();
    plan.printers.push_back(p);
  }
  if (plan.printers.empty()) {
    error = o.planIn + ": the plan names no printer";
    return false;
  }
  return true;
}

}  // namespace

int ApplyPlan(const Options& o) {
  LoadedPlan plan;
  std::string error;
  if (!ReadPlan(o, plan, error)) {
    ErrLine(error);
    return kExitInput;
  }
  std::string sha;
  std::string why;
  if (!FileSha256(plan.package.path, sha, why)) {
    ErrLine("the plan's package cannot be read: " + why);
    return kExitInput;
  }
  if (sha != plan.package.sha256) {
    // The plan was decided on other bytes: none of it holds any more.
    ErrLine("the package " + plan.package.path + " changed since the plan (SHA-256 " + sha +
            ", planned " + plan.package.sha256 + "): nothing sent; make a new plan");
    for (PlannedPrinter p : plan.printers) {
      p.plan = "refused";
      p.reason = "package_changed";
      p.exit = kExitRefused;
      p.message = "the package changed since the plan";
      PrintPlanLine(plan.options, p, plan.package.version);
    }
    return kExitRefused;
  }
  Options run = plan.options;
  run.printers.clear();
  run.printersFrom.clear();
  run.resume.clear();
  auto planned = std::make_shared<std::vector<PlannedPrinter>>();
  for (const PlannedPrinter& p : plan.printers) {
    if (p.plan == "send") {
      run.printers.push_back(p.printer);
      planned->push_back(p);
    } else if (run.verbose) {
      ErrLine(p.printer + ": not in the plan's sends (" + p.plan +
              (p.reason.empty() ? std::string() : ", " + p.reason) + ")");
    }
  }
  if (run.printers.empty()) {
    ErrLine("the plan sends to no printer: nothing to do");
    return kExitOk;
  }
  run.planned = planned;
  return RunDownload(run);
}

const PlannedPrinter* PlannedOf(const Options& o, const std::string& printer) {
  if (!o.planned) return nullptr;
  const std::string key = PrinterTarget::IdentityOfText(printer);
  for (const PlannedPrinter& p : *o.planned) {
    if (PrinterTarget::IdentityOfText(p.printer) == key) return &p;
  }
  return nullptr;
}

bool SameIdentity(const PlannedPrinter& planned, bool answered, const std::string& modelNow,
                  const std::string& serialNow, const std::string& uuidNow, std::string& why) {
  if (!planned.consoleModel.empty()) {
    if (!answered) {
      why = "it no longer answers, so it cannot be told to be the planned " + planned.consoleModel;
      return false;
    }
    if (modelNow != planned.consoleModel) {
      why = "the planned printer was a " + planned.consoleModel + ", this address now answers as " +
            (modelNow.empty() ? std::string("no model") : modelNow);
      return false;
    }
  }
  // DHCP may give the address to another printer of the same model: only
  // the serial or UUID tells them apart.
  const struct {
    const char* name;
    const std::string& was;
    const std::string& now;
  } pins[] = {{"serial number", planned.serial, serialNow}, {"UUID", planned.uuid, uuidNow}};
  for (const auto& pin : pins) {
    if (pin.was.empty()) continue;
    if (pin.now.empty()) {
      why = std::string("its ") + pin.name + " " + pin.was +
            " cannot be confirmed: no source tells one now";
      return false;
    }
    if (platform::LowerAscii(pin.now) != platform::LowerAscii(pin.was)) {
      why = std::string("the ") + pin.name + " changed from " + pin.was + " to " + pin.now;
      return false;
    }
  }
  return true;
}

}  // namespace cli
