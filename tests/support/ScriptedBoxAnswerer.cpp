#include "tests/support/ScriptedBoxAnswerer.h"

namespace quillon {

BoxAnswer ScriptedBoxAnswerer::Answer(const BoxQuestion& q) {
  asked_.push_back(
      Asked{q.kind, q.caption, q.text, q.style, q.helpContext, q.checkCaption, q.checked});
  if (answers_.empty()) {
    BoxAnswer a;
    a.button = DefaultButton(q);
    return a;
  }
  BoxAnswer a = answers_.front();
  answers_.pop_front();
  return a;
}

}  // namespace quillon
