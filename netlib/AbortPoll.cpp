#include "netlib/AbortPoll.h"

#include "netlib/Notify.h"

namespace quillon::net {

bool AbortPoll::Ask() {
  if (aborted_) return true;
  if (check_ != nullptr) {
    try {
      aborted_ = check_(context_);
    } catch (...) {
      aborted_ = true;  // a check that throws cannot be trusted to say "go on"
    }
  } else if (notify_ != nullptr) {
    aborted_ = NotifyCaller(notify_, NOTIFY_WAITING, 0);
  }
  return aborted_;
}

bool AbortPoll::Notify(unsigned wParam, intptr_t lParam) {
  if (NotifyCaller(notify_, wParam, lParam)) aborted_ = true;
  return aborted_;
}

}  // namespace quillon::net
