// One encoder for the search URL's words and the URL on the wire, so that both
// spell an escape the same way.
#include "base/percent_encoding.h"

#include <cctype>

namespace talewick {

namespace {

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

std::string PercentEncode(std::string_view text, const ByteSet& kept, Escapes escapes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool escaped = escapes == Escapes::kKeep && c == '%' && i + 2 < text.size() &&
                         IsHexDigit(text[i + 1]) && IsHexDigit(text[i + 2]);
    if (kept[c] || escaped) {
      out += static_cast<char>(c);
    } else {
      out += {'%', kHex[c >> 4], kHex[c & 0x0F]};
    }
  }
  return out;
}

}  // namespace talewick
