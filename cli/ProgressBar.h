#pragma once
// The progress of the running transfers, redrawn in place on one line of
// the error stream when that is a terminal (not with -q); otherwise
// nothing, or with -v a line per tenth of each transfer.

#include <map>
#include <string>
#include <vector>

namespace cli {

class ProgressBar {
 public:
  struct Item {
    std::string name;
    int percent = 0;
  };

  // enabled: false leaves the stream alone (not a terminal, or unwanted).
  explicit ProgressBar(bool enabled);
  ~ProgressBar();

  bool Enabled() const { return enabled_; }
  void Draw(const std::vector<Item>& items);
  // Wipes the line so that a message can be written in its place.
  void Clear();

  // The line for the items in at most width columns (one printer: a bar;
  // several: name and percentage of each).
  static std::string Line(const std::vector<Item>& items, int width);

 private:
  bool enabled_;
  bool lines_;
  std::map<std::string, int> tenths_;
  bool drawn_ = false;
  std::string last_;
};

}  // namespace cli
