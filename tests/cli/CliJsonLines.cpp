#include "tests/cli/CliJsonLines.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <fstream>

#include "tests/cli/CliProcess.h"
#include "tests/support/PrinterSimulator.h"
#include "tests/support/TestEnv.h"

namespace quillon_test {

QJsonObject Object(const std::string& line) {
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line));
  EXPECT_TRUE(doc.isObject()) << line;
  return doc.object();
}

std::string Str(const QJsonObject& o, const char* key) {
  const QJsonValue v = o.value(QLatin1String(key));
  if (v.isNull() || v.isUndefined()) return "null";
  if (v.isBool()) return v.toBool() ? "true" : "false";
  if (v.isDouble()) return std::to_string(v.toInt());
  return v.toString().toStdString();
}

QJsonObject LineOf(const std::string& out, const std::string& key, const std::string& value) {
  for (const std::string& l : Lines(out)) {
    const QJsonObject o = Object(l);
    if (Str(o, key.c_str()) == value) return o;
  }
  ADD_FAILURE() << "no line with " << key << " " << value << " in " << out;
  return {};
}

QJsonObject LineOf(const std::string& out, const std::string& printer) {
  return LineOf(out, "printer", printer);
}

std::string Ftp(const std::string& address) { return "ftp://" + address + "/vesta0"; }

std::vector<std::string> JobsAt(const PrinterSimulator& sim, const std::string& address) {
  std::vector<std::string> jobs;
  for (const std::string& r : sim.Reports()) {
    if (JsonField(r, "address") == "\"" + address + "\"") jobs.push_back(r);
  }
  return jobs;
}

std::map<std::string, std::string> IdentityPeers() {
  std::map<std::string, std::string> peers;
  std::ifstream in(std::string(QUILLON_BINARY_DIR) + "/identity-peers/peers.env");
  for (std::string line; std::getline(in, line);) {
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) peers[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return peers;
}

}  // namespace quillon_test
