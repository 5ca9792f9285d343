#pragma once
// Words for a failed console query, shared by query, inventory and the
// download's verification.

#include <cstdint>
#include <string>

namespace cli {

// "the printer's console does not answer", ...
std::string ConsoleErrorText(std::uint32_t error);
// "0x20000006"
std::string ErrorCodeText(std::uint32_t error);

// The library's detail for the calling thread's last failure ("" if none).
std::string LastNetDetail();

}  // namespace cli
