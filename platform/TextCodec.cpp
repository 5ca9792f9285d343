#include "platform/TextCodec.h"

#include <iconv.h>

#include <cerrno>

namespace platform {
namespace {

// Length of the UTF-8 sequence starting at s[i], or 0 when it is malformed
// (overlong forms, surrogates and values above U+10FFFF included).
size_t Utf8Length(std::string_view s, size_t i) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  if (c < 0x80) return 1;
  size_t n;
  unsigned lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) n = 2;
  else if (c == 0xE0) { n = 3; lo = 0xA0; }
  else if (c == 0xED) { n = 3; hi = 0x9F; }
  else if (c >= 0xE1 && c <= 0xEF) n = 3;
  else if (c == 0xF0) { n = 4; lo = 0x90; }
  else if (c >= 0xF1 && c <= 0xF3) n = 4;
  else if (c == 0xF4) { n = 4; hi = 0x8F; }
  else return 0;
  if (i + n > s.size()) return 0;
  if (b(i + 1) < lo || b(i + 1) > hi) return 0;
  for (size_t k = 2; k < n; ++k) {
    if (b(i + k) < 0x80 || b(i + k) > 0xBF) return 0;
  }
  return n;
}

size_t ShiftJisLength(std::string_view s, size_t i) {
  return IsShiftJisLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

class Iconv {
 public:
  Iconv() : cd_(iconv_open("UTF-8", "CP932")) {}
  ~Iconv() { if (ok()) iconv_close(cd_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const size_t n = Utf8Length(bytes, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";

// UTF-8 kept, each malformed sequence (one byte at a time) marked.
std::string MendUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    const size_t n = Utf8Length(bytes, i);
    if (n == 0) {
      out += kReplacement;
      ++i;
    } else {
      out.append(bytes.substr(i, n));
      i += n;
    }
  }
  return out;
}

}  // namespace

std::string ToUtf8(std::string_view bytes, TextEncoding from) {
  if (from == TextEncoding::kUtf8) return MendUtf8(bytes);
  std::string out;
  out.reserve(bytes.size() * 3 / 2 + 4);
  Iconv cd;
  if (!cd.ok()) {
    // Without a converter, keep ASCII and mark the rest.
    for (unsigned char c : bytes) out += c < 0x80 ? std::string(1, static_cast<char>(c)) : kReplacement;
    return out;
  }
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char buf[1024];
  while (inLeft > 0) {
    char* o = buf;
    size_t oLeft = sizeof buf;
    const size_t r = iconv(cd.get(), &in, &inLeft, &o, &oLeft);
    out.append(buf, static_cast<size_t>(o - buf));
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // Not a character (or cut in the middle): mark it and step over one
    // character's worth of bytes.
    out += kReplacement;
    const size_t skip = ShiftJisLength(std::string_view(in, inLeft), 0);
    in += skip;
    inLeft -= skip;
    iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}

std::string_view CutText(std::string_view bytes, size_t maxBytes, TextEncoding enc) {
  if (bytes.size() <= maxBytes) return bytes;
  const bool utf8 = enc == TextEncoding::kUtf8;
  size_t i = 0;
  while (i < bytes.size()) {
    size_t n = utf8 ? Utf8Length(bytes, i) : ShiftJisLength(bytes, i);
    if (n == 0) n = 1;  // a malformed byte stands alone
    if (i + n > maxBytes) break;
    i += n;
  }
  return bytes.substr(0, i);
}

std::string BackslashesToSlashes(std::string_view bytes, TextEncoding enc) {
  std::string out(bytes);
  const bool utf8 = enc == TextEncoding::kUtf8;
  for (size_t i = 0; i < out.size();) {
    if (out[i] == '\\') out[i] = '/';
    i += utf8 ? 1 : ShiftJisLength(out, i);
  }
  return out;
}

}  // namespace platform
