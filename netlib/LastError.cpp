#include "netlib/LastError.h"

#include "netlib/quillon.h"

namespace quillon::net {
namespace {
thread_local uint32_t g_lastError = 0;
}

void SetLastErrorCode(uint32_t code) { g_lastError = code; }
uint32_t LastErrorCode() { return g_lastError; }

}  // namespace quillon::net

extern "C" QUILLON_API uint32_t QUILLON_GetLastError(void) {
  return quillon::net::LastErrorCode();
}
