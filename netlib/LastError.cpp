#include "netlib/LastError.h"

#include <cstring>

#include "netlib/quillon.h"

namespace quillon::net {
namespace {
thread_local uint32_t g_lastError = 0;
thread_local std::string g_lastDetail;
}

void SetLastErrorCode(uint32_t code) { g_lastError = code; }
uint32_t LastErrorCode() { return g_lastError; }
void SetLastErrorDetail(std::string detail) { g_lastDetail = std::move(detail); }
const std::string& LastErrorDetail() { return g_lastDetail; }

}  // namespace quillon::net

extern "C" QUILLON_API uint32_t QUILLON_GetLastError(void) {
  return quillon::net::LastErrorCode();
}

extern "C" QUILLON_API uint32_t QUILLON_GetLastErrorDetail(char* text, uint32_t size) {
  const std::string& detail = quillon::net::LastErrorDetail();
  if (text != nullptr && size > 0) {
    const size_t n = detail.size() < size - 1 ? detail.size() : size - 1;
    std::memcpy(text, detail.data(), n);
    text[n] = '\0';
  }
  return static_cast<uint32_t>(detail.size());
}
