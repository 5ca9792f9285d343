#include "cli/Versions.h"

#include <algorithm>
#include <vector>

#include "platform/Text.h"

namespace cli {
namespace {

struct Part {
  std::string number;  // digits without leading zeros ("" for 0)
  std::string rest;    // what follows, lower case
};

bool Split(const std::string& text, std::vector<Part>& parts) {
  std::string t = platform::LowerAscii(text);
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!t.empty() && blank(t.front())) t.erase(0, 1);
  while (!t.empty() && blank(t.back())) t.pop_back();
  for (const char* prefix : {"version", "ver.", "ver", "v"}) {
    const std::string p(prefix);
    if (t.compare(0, p.size(), p) == 0) {
      t.erase(0, p.size());
      break;
    }
  }
  while (!t.empty() && blank(t.front())) t.erase(0, 1);
  if (t.find_first_of("0123456789") == std::string::npos) return false;
  parts.clear();
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = t.find('.', start);
    const std::string piece = t.substr(start, dot == std::string::npos ? dot : dot - start);
    Part part;
    std::size_t i = 0;
    while (i < piece.size() && piece[i] >= '0' && piece[i] <= '9') ++i;
    part.number = piece.substr(0, i);
    part.number.erase(0, part.number.find_first_not_of('0'));
    if (part.number.find_first_not_of('0') == std::string::npos) part.number.clear();
    part.rest = piece.substr(i);
    parts.push_back(part);
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  while (!parts.empty() && parts.back().number.empty() && parts.back().rest.empty())
    parts.pop_back();
  return true;
}

int CompareNumbers(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a < b ? -1 : a > b ? 1 : 0;
}

}  // namespace

std::string NormaliseVersion(const std::string& text) {
  std::vector<Part> parts;
  if (!Split(text, parts)) return std::string();
  std::string out;
  for (const Part& p : parts) {
    if (!out.empty() || &p != &parts.front()) out += '.';
    out += (p.number.empty() ? "0" : p.number) + p.rest;
  }
  return out.empty() ? "0" : out;
}

bool CompareVersions(const std::string& a, const std::string& b, int& order) {
  std::vector<Part> pa, pb;
  if (!Split(a, pa) || !Split(b, pb)) return false;
  const std::size_t n = std::max(pa.size(), pb.size());
  pa.resize(n);
  pb.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    int c = CompareNumbers(pa[i].number, pb[i].number);
    if (c == 0) c = pa[i].rest < pb[i].rest ? -1 : pa[i].rest > pb[i].rest ? 1 : 0;
    if (c != 0) {
      order = c;
      return true;
    }
  }
  order = 0;
  return true;
}

}  // namespace cli
