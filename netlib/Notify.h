#pragma once
#include <cstdint>

#include "netlib/quillon.h"

namespace quillon::net {

// A target "names a window" when it exists and has a callback.
bool IsNotifyTarget(const QUILLON_NotifyTarget* target);

// Delivers WM_TRANSFER_NOTIFY synchronously; true when the caller answered
// exactly 1 (abort). A target that is not one always means "go on".
bool NotifyCaller(const QUILLON_NotifyTarget* target, unsigned wParam, intptr_t lParam);

}  // namespace quillon::net
