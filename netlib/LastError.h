#pragma once
#include <cstdint>

namespace quillon::net {

// The thread's last error, as QUILLON_GetLastError reports it.
void SetLastErrorCode(uint32_t code);
uint32_t LastErrorCode();

}  // namespace quillon::net
