#include "cli/RunSummary.h"

#include <algorithm>
#include <map>
#include <utility>

namespace cli {
namespace {

bool IsIpv4(const std::string& s) {
  int dots = 0;
  for (char c : s) {
    if (c == '.')
      ++dots;
    else if (c < '0' || c > '9')
      return false;
  }
  return dots == 3;
}

std::string Short(const std::string& name) {
  return IsIpv4(name) ? name.substr(name.rfind('.')) : name;
}

}  // namespace

std::string StatusText(std::size_t done, std::size_t total, const std::vector<Waiting>& waiting,
                       int timeoutSeconds) {
  if (waiting.empty()) return std::string();
  std::string text = std::to_string(done) + "/" + std::to_string(total) + " done, waiting for " +
                     std::to_string(waiting.size()) + ":";
  // The longest waits first: those are the ones worth a look.
  std::vector<Waiting> sorted = waiting;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const Waiting& a, const Waiting& b) { return a.seconds > b.seconds; });
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    if (i == 4) {
      text += " ...";
      break;
    }
    text += std::string(i ? ", " : " ") + Short(sorted[i].name) + " " +
            std::to_string(static_cast<int>(sorted[i].seconds)) + "/" +
            std::to_string(timeoutSeconds) + " s";
  }
  return text;
}

std::string SummaryText(const std::vector<std::string>& outcomes, bool japanese) {
  // The outcome names are the JSON's, so an English summary can be read by
  // a script; a Japanese one names them in words.
  static const std::pair<const char*, const char*> kOrder[] = {
      {"succeeded", "成功"},    {"unverified", "未確認"}, {"skipped", "スキップ"},
      {"refused", "拒否"},      {"unreachable", "接続できず"}, {"failed", "失敗"},
      {"declined", "辞退"},     {"busy", "使用中"},     {"aborted", "中止"},
      {"not_started", "開始せず"}};
  std::map<std::string, std::size_t> counts;
  for (const std::string& o : outcomes) ++counts[o];
  const std::string total = std::to_string(outcomes.size());
  std::string text = japanese ? "集計: プリンタ " + total + " 台"
                              : "summary: " + total + (outcomes.size() == 1 ? " printer" : " printers");
  bool first = true;
  const auto add = [&](const std::string& name, std::size_t n) {
    text += first ? ": " : japanese ? "、" : ", ";
    text += japanese ? name + " " + std::to_string(n) : std::to_string(n) + " " + name;
    first = false;
  };
  for (const auto& [name, ja] : kOrder) {
    const auto it = counts.find(name);
    if (it == counts.end()) continue;
    add(japanese ? ja : name, it->second);
    counts.erase(it);
  }
  for (const auto& [name, n] : counts) add(name, n);
  return text;
}

}  // namespace cli
