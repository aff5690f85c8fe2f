// Decoding of search query strings and parsing of the q value.
#include "query_decode.h"

#include "words.h"

namespace talewick::search {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Printable ASCII other than space: what may stand unescaped in a request target.
bool IsUrlByte(unsigned char c) { return c > 0x20 && c < 0x7f; }

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

// Checks UTF-8 structure (no overlong or surrogate checks: the text is only
// searched and echoed escaped, so only stray and cut sequences matter).
bool IsUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t follow = 0;
    if ((c & 0xe0) == 0xc0 && c >= 0xc2) {
      follow = 1;
    } else if ((c & 0xf0) == 0xe0) {
      follow = 2;
    } else if ((c & 0xf8) == 0xf0 && c <= 0xf4) {
      follow = 3;
    } else {
      return false;
    }
    if (i + follow >= text.size()) return false;
    for (std::size_t k = 1; k <= follow; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) return false;
    }
    i += follow + 1;
  }
  return true;
}

// The characters of Windows-1252 from 0x80 to 0x9f; 0 for the five bytes it leaves
// unassigned. From 0xa0 on, a byte is the Latin-1 character of its value.
constexpr char16_t kWindows1252High[32] = {
    0x20ac, 0,      0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017d, 0,      0,      0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
    0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0,      0x017e, 0x0178};

// Text in Windows-1252, the ANSI code page the Windows program sends its words
// in, as UTF-8; nothing when it holds an unassigned byte.
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

}  // namespace

std::optional<std::string> DecodeFormValue(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (!IsUrlByte(static_cast<unsigned char>(c))) return std::nullopt;
    if (c == '+') {
      out.push_back(' ');
    } else if (c == '%') {
      if (i + 2 >= raw.size()) return std::nullopt;
      const int high = HexValue(raw[i + 1]);
      const int low = HexValue(raw[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      out.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  for (const char c : out) {
    if (IsControl(static_cast<unsigned char>(c))) return std::nullopt;
  }
  if (IsUtf8(out)) return out;
  return Utf8FromWindows1252(out);
}

SearchTerms ParseSearchTerms(std::string_view q) {
  SearchTerms terms;
  std::size_t pos = 0;
  while (pos < q.size()) {
    while (pos < q.size() && (q[pos] == ' ' || q[pos] == '\t')) ++pos;
    std::size_t end = pos;
    while (end < q.size() && q[end] != ' ' && q[end] != '\t') ++end;
    const std::string term = LowerAscii(q.substr(pos, end - pos));
    pos = end;
    if (term.empty()) continue;
    if (term.rfind("site:", 0) == 0) {
      terms.site = term.substr(5);
      while (!terms.site.empty() && terms.site.back() == '/') terms.site.pop_back();
      continue;
    }
    for (const WordSpan& word : SplitWords(term)) {
      terms.words.push_back(term.substr(word.offset, word.length));
    }
  }
  return terms;
}

QueryParseResult ParseSearchQuery(std::string_view rawQuery) {
  QueryParseResult result;
  if (rawQuery.size() > kMaxQueryBytes) {
    result.error = "query too long";
    return result;
  }
  bool haveQ = false;
  std::size_t pos = 0;
  while (pos <= rawQuery.size()) {
    std::size_t end = rawQuery.find('&', pos);
    if (end == std::string_view::npos) end = rawQuery.size();
    const std::string_view field = rawQuery.substr(pos, end - pos);
    pos = end + 1;
    if (field.empty()) continue;
    const std::size_t eq = field.find('=');
    const auto key = DecodeFormValue(field.substr(0, eq));
    const auto value =
        DecodeFormValue(eq == std::string_view::npos ? std::string_view() : field.substr(eq + 1));
    if (!key || !value) {
      result.error = "malformed query string";
      return result;
    }
    if (*key == "q" && !haveQ) {
      haveQ = true;
      result.q = *value;
    }
  }
  if (!haveQ) {
    result.error = "missing q";
    return result;
  }
  result.terms = ParseSearchTerms(result.q);
  result.ok = true;
  return result;
}

}  // namespace talewick::search
