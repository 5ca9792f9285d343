#include "resources/StringTable.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>

namespace quillon {

namespace {

std::string Unescape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      const char next = s[i + 1];
      const char* rep = next == 'n' ? "\n" : next == 'r' ? "\r" : next == 't' ? "\t" : next == '\\' ? "\\" : nullptr;
      if (rep) {
        out += rep;
        ++i;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

const std::map<int, std::string>& Table() {
  static const std::map<int, std::string> table = [] {
    QFile f(QStringLiteral(":/strings/strings.tsv"));
    if (!f.open(QIODevice::ReadOnly)) return std::map<int, std::string>{};
    const QByteArray bytes = f.readAll();
    return ParseStringTable(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
  }();
  return table;
}

}  // namespace

std::map<int, std::string> ParseStringTable(std::string_view bytes) {
  std::map<int, std::string> table;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos || tab == 0 || tab > 9) continue;
    long id = 0;
    bool digits = true;
    for (char c : line.substr(0, tab)) {
      if (c < '0' || c > '9') digits = false;
      else id = id * 10 + (c - '0');
    }
    if (!digits) continue;
    table.emplace(static_cast<int>(id), Unescape(line.substr(tab + 1)));
  }
  return table;
}

std::string LoadStr(int id) {
  const auto& t = Table();
  const auto it = t.find(id);
  if (it == t.end()) return std::string();
  // Messages and captions in the current language: the translation of the
  // context "strings" whose comment is the id; the model rows are data.
  if (id < kFirstTextId) return it->second;
  const QByteArray key = QByteArray::number(id);
  return QCoreApplication::translate("strings", it->second.c_str(), key.constData()).toStdString();
}

QString LoadQStr(int id) { return QString::fromStdString(LoadStr(id)); }

}  // namespace quillon
