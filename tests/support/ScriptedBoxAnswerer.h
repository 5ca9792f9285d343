#pragma once
// An answerer that plays back prepared answers and records every box it
// was asked, for tests and scripted runs. With no prepared answer left it
// answers the box's default button.
#include <deque>
#include <vector>

#include "core/command/MessageBoxes.h"

namespace quillon {

class ScriptedBoxAnswerer : public BoxAnswerer {
 public:
  struct Asked {
    BoxQuestion::Kind kind;
    std::string caption;
    std::string text;
    int style;
    int helpContext;
    std::string checkCaption;
    bool checked;
  };

  void Push(int button) { BoxAnswer a; a.button = button; answers_.push_back(a); }
  void Push(const BoxAnswer& answer) { answers_.push_back(answer); }

  BoxAnswer Answer(const BoxQuestion& q) override;

  const std::vector<Asked>& Questions() const { return asked_; }
  size_t Pending() const { return answers_.size(); }
  void Clear() { asked_.clear(); answers_.clear(); }

 private:
  std::deque<BoxAnswer> answers_;
  std::vector<Asked> asked_;
};

}  // namespace quillon
