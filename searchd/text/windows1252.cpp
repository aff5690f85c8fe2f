#include "searchd/text/windows1252.h"

namespace talewick::search {

namespace {

// The characters of Windows-1252 from 0x80 to 0x9f; 0 for the five bytes it leaves
// unassigned. From 0xa0 on, a byte is the Latin-1 character of its value.
constexpr char16_t kWindows1252High[32] = {
    0x20ac, 0,      0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017d, 0,      0,      0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
    0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0,      0x017e, 0x0178};

constexpr char32_t kReplacement = 0xfffd;

// The Windows-1252 byte of `code`, or 0 when it has none.
unsigned char Windows1252Byte(char32_t code) {
  if (code < 0x80 || (code >= 0xa0 && code <= 0xff)) return static_cast<unsigned char>(code);
  for (unsigned i = 0; i < 32; ++i) {
    if (kWindows1252High[i] != 0 && kWindows1252High[i] == code) {
      return static_cast<unsigned char>(0x80 + i);
    }
  }
  return 0;
}

// The character that starts at `at` and its length in bytes; U+FFFD for a
// single byte that starts no whole, shortest, non-surrogate UTF-8 character.
std::pair<char32_t, std::size_t> NextCharacter(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return {lead, 1};
  std::size_t length = 0;
  char32_t code = 0;
  char32_t least = 0;
  if ((lead & 0xe0) == 0xc0) {
    length = 2, code = lead & 0x1f, least = 0x80;
  } else if ((lead & 0xf0) == 0xe0) {
    length = 3, code = lead & 0x0f, least = 0x800;
  } else if ((lead & 0xf8) == 0xf0) {
    length = 4, code = lead & 0x07, least = 0x10000;
  } else {
    return {kReplacement, 1};
  }
  if (at + length > text.size()) return {kReplacement, 1};
  for (std::size_t k = 1; k < length; ++k) {
    const auto follow = static_cast<unsigned char>(text[at + k]);
    if ((follow & 0xc0) != 0x80) return {kReplacement, 1};
    code = (code << 6) | (follow & 0x3f);
  }
  if (code < least || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) {
    return {kReplacement, 1};
  }
  return {code, length};
}

}  // namespace

std::optional<std::string> Utf8FromWindows1252(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (const char byte : text) {
    const auto c = static_cast<unsigned char>(byte);
    const char16_t code = c < 0x80 ? c : c < 0xa0 ? kWindows1252High[c - 0x80] : c;
    if (code == 0) return std::nullopt;
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xc0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3f)));
    } else {
      out.push_back(static_cast<char>(0xe0 | (code >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3f)));
    }
  }
  return out;
}

std::string Windows1252FromUtf8(std::string_view html) {
  std::string out;
  out.reserve(html.size());
  for (std::size_t at = 0; at < html.size();) {
    const auto [code, length] = NextCharacter(html, at);
    at += length;
    if (const unsigned char byte = Windows1252Byte(code); byte != 0 || code == 0) {
      out.push_back(static_cast<char>(byte));
    } else {
      out += "&#" + std::to_string(static_cast<unsigned long>(code)) + ";";
    }
  }
  return out;
}

}  // namespace talewick::search
