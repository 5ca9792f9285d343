// Package text decoding (CP932 and UTF-8), cuts, separators, and the
// terminal escaping of the command-line program: the results are valid
// UTF-8, cuts are prefixes within their limit, and escaped text holds no
// control character but line feed and tab.
#include <cstdlib>
#include <string>
#include <string_view>

#include "cli/TerminalText.h"
#include "platform/TextCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t max = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  for (const auto enc : {platform::TextEncoding::kCp932, platform::TextEncoding::kUtf8}) {
    const std::string utf8 = platform::ToUtf8(text, enc);
    if (!platform::IsValidUtf8(utf8)) std::abort();
    const std::string_view cut = platform::CutText(text, max, enc);
    if (cut.size() > max || text.substr(0, cut.size()) != cut) std::abort();
    if (text.size() <= max && cut.size() != text.size()) std::abort();
    const std::string slashes = platform::BackslashesToSlashes(text, enc);
    if (slashes.size() != text.size()) std::abort();
    const std::string shown = cli::ForTerminal(utf8);
    for (const unsigned char c : shown) {
      if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F) std::abort();
    }
    for (size_t i = 0; i + 1 < shown.size(); ++i) {
      const auto a = static_cast<unsigned char>(shown[i]), b = static_cast<unsigned char>(shown[i + 1]);
      if (a == 0xC2 && b >= 0x80 && b <= 0x9F) std::abort();  // C1 control
    }
  }
  return 0;
}
