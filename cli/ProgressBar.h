#pragma once
// The progress of the running transfers, redrawn in place on one line of
// the error stream when that is a terminal (not with -q); otherwise
// nothing, or with -v a line per tenth of each transfer.

#include <map>
#include <string>
#include <vector>

#include "cli/Output.h"

namespace cli {

class ProgressBar : public LiveLine {
 public:
  struct Item {
    std::string name;
    int percent = 0;
  };

  // enabled: false leaves the stream alone (not a terminal, or unwanted).
  explicit ProgressBar(bool enabled);
  ~ProgressBar() override;

  bool Enabled() const { return enabled_; }
  // The transfers, after status when that is not empty (the run's state:
  // "27/41 done, waiting for 3: ...").
  void Draw(const std::vector<Item>& items, const std::string& status = std::string());
  // Wipes the line so that a message can be written in its place.
  void Clear();
  // LiveLine: wiped for a message and drawn again after it.
  void Hide() override;
  void Show() override;

  // The line for the items in at most width columns (one printer: a bar;
  // several: name and percentage of each).
  static std::string Line(const std::vector<Item>& items, int width);

 private:
  void Put(const std::string& line);
  void Wipe();

  bool enabled_;
  bool lines_;
  bool escapes_;
  bool hidden_ = false;
  std::size_t shown_ = 0;  // columns on the line, for wiping without escapes
  std::map<std::string, int> tenths_;
  bool drawn_ = false;
  std::string last_;
};

}  // namespace cli
