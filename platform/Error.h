#pragma once
// The one error value every layer fills: the layer's code (0 is success)
// and the cause in words, so a failure keeps its reason on the way up (the
// errno text, the print server's own text, the FTP step with the server's
// reply line). Header-only: the network library shares it.

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

namespace platform {

struct Error {
  int code = 0;
  std::string detail;

  bool Failed() const { return code != 0; }
  static Error Ok() { return Error{}; }
  static Error Of(int code, std::string detail) { return Error{code, std::move(detail)}; }
  // what + ": " + the text of errnum (errno by default).
  static Error FromErrno(int code, const std::string& what, int errnum = errno) {
    return Error{code, what + ": " + std::strerror(errnum)};
  }
};

}  // namespace platform
