// Percent-encoding of the bytes that may not appear in a URL on the wire.
#include "query/url_escape.h"

#include <cctype>

namespace {

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

bool MustEscape(unsigned char c) {
  if (c <= 0x20 || c >= 0x7F) return true;
  switch (c) {
    case '"':
    case '#':
    case '<':
    case '>':
    case '\\':
    case '^':
    case '`':
    case '{':
    case '|':
    case '}':
      return true;
    default:
      return false;
  }
}

// True when the text starts with `prefix`, ignoring ASCII case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

}  // namespace

std::string EscapeUrlForWire(std::string_view url) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(url.size() + url.size() / 4);
  for (size_t i = 0; i < url.size(); ++i) {
    const auto c = static_cast<unsigned char>(url[i]);
    // A lone '%' would make the server decode the bytes after it; "%XX" is kept.
    const bool lonePercent =
        c == '%' && !(i + 2 < url.size() && IsHexDigit(url[i + 1]) && IsHexDigit(url[i + 2]));
    if (MustEscape(c) || lonePercent) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool IsHttpUrl(std::string_view url) {
  return StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://");
}
