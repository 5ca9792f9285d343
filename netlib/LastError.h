#pragma once
#include <cstdint>
#include <string>

namespace quillon::net {

// The thread's last error, as QUILLON_GetLastError reports it.
void SetLastErrorCode(uint32_t code);
uint32_t LastErrorCode();
// The cause behind the thread's last result, in words (the step and the
// peer's reply line, or the system's error text); empty after a success.
void SetLastErrorDetail(std::string detail);
const std::string& LastErrorDetail();

}  // namespace quillon::net
