#include "netlib/Notify.h"

namespace quillon::net {

bool IsNotifyTarget(const QUILLON_NotifyTarget* target) {
  return target != nullptr && target->Callback != nullptr;
}

bool NotifyCaller(const QUILLON_NotifyTarget* target, unsigned wParam, intptr_t lParam) {
  if (!IsNotifyTarget(target)) return false;
  try {
    return target->Callback(target->Context, WM_TRANSFER_NOTIFY, wParam, lParam) == 1;
  } catch (...) {
    // A callback that breaks its promise not to throw stops the transfer.
    return true;
  }
}

}  // namespace quillon::net
