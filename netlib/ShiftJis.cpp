#include "netlib/ShiftJis.h"

#include <iconv.h>

#include <cerrno>

namespace quillon::net {
namespace {

bool IsLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// One conversion descriptor per call: iconv keeps state in it.
class Converter {
 public:
  Converter() : cd_(::iconv_open("UTF-8", "CP932")) {}
  ~Converter() {
    if (Ok()) ::iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t Get() const { return cd_; }

 private:
  iconv_t cd_;
};

}  // namespace

std::size_t ShiftJisFitLength(std::string_view bytes, std::size_t maxBytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::size_t width =
        IsLead(static_cast<unsigned char>(bytes[at])) && at + 1 < bytes.size() ? 2 : 1;
    if (at + width > maxBytes) break;
    at += width;
  }
  return at;
}

std::string ShiftJisToUtf8(std::string_view bytes) {
  std::string out;
  Converter converter;
  if (!converter.Ok()) {  // no converter: ASCII stays, the rest is unknown
    for (char c : bytes) out += static_cast<unsigned char>(c) < 0x80 ? std::string(1, c) : "\xEF\xBF\xBD";
    return out;
  }
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char buffer[256];
  while (inLeft > 0) {
    char* o = buffer;
    std::size_t oLeft = sizeof(buffer);
    const std::size_t r = ::iconv(converter.Get(), &in, &inLeft, &o, &oLeft);
    out.append(buffer, static_cast<std::size_t>(o - buffer));
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // A byte that starts no character (or a lead byte at the end).
      out += "\xEF\xBF\xBD";
      ++in;
      --inLeft;
    }
  }
  return out;
}

}  // namespace quillon::net
