#pragma once
// Reading quillon-cli's JSON lines, the simulator's reports and the
// identity peers' addresses in the tests of batches, plans and identities.

#include <QJsonObject>

#include <map>
#include <string>
#include <vector>

namespace quillon_test {

class PrinterSimulator;

// One JSON line as an object (a line that is not one fails the test).
QJsonObject Object(const std::string& line);
// A value as text: "null" for null or missing, numbers as integers,
// booleans as "true"/"false".
std::string Str(const QJsonObject& o, const char* key);
// The first line of out whose key has that value (fails the test when none has).
QJsonObject LineOf(const std::string& out, const std::string& key, const std::string& value);
// The line of one printer.
QJsonObject LineOf(const std::string& out, const std::string& printer);

// The FTP printer at a simulator's address.
std::string Ftp(const std::string& address);
// The reports of the jobs one address of the simulator received.
std::vector<std::string> JobsAt(const PrinterSimulator& sim, const std::string& address);

// The identity peers the fixture started (name=address lines of its
// peers.env; empty when it did not run).
std::map<std::string, std::string> IdentityPeers();

}  // namespace quillon_test
