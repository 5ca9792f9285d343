#pragma once
#include <cstdint>

#include "netlib/quillon.h"

namespace quillon::net {

// The longest a wait goes on before it asks whether to stop: an abort
// ends every wait within this (and the time the caller takes to answer).
constexpr int kAbortPollMs = 200;

// The caller's "stop now?" while a call waits: a notify target (asked with
// NOTIFY_WAITING) or a plain check. Without either, no wait is cut. Once
// the caller asked for the abort the answer stands: every later wait ends
// at once, so the clean-up of an aborted call does not wait either.
class AbortPoll {
 public:
  using Check = bool (*)(void* context);

  AbortPoll() = default;
  explicit AbortPoll(const QUILLON_NotifyTarget* notify) : notify_(notify) {}
  AbortPoll(Check check, void* context) : check_(check), context_(context) {}

  // True once the abort was asked for; asks the caller unless it was.
  bool Ask();
  bool Aborted() const { return aborted_; }
  // Notes an abort the caller answered to another notification.
  void SetAborted() { aborted_ = true; }
  // Delivers a notification through the target and notes an abort answer.
  bool Notify(unsigned wParam, intptr_t lParam);

 private:
  const QUILLON_NotifyTarget* notify_ = nullptr;
  Check check_ = nullptr;
  void* context_ = nullptr;
  bool aborted_ = false;
};

}  // namespace quillon::net
