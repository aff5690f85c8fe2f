// Decoding of search query strings and parsing of the q value.
#include "searchd/http/query_decode.h"

#include "searchd/text/windows1252.h"
#include "searchd/text/words.h"

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

}  // namespace

std::optional<std::string> DecodeFormValue(std::string_view raw, PageCharset* charset) {
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
  const bool utf8 = IsUtf8(out);
  if (charset != nullptr) *charset = utf8 ? PageCharset::kUtf8 : PageCharset::kWindows1252;
  if (utf8) return out;
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
    PageCharset charset = PageCharset::kUtf8;
    const auto value = DecodeFormValue(
        eq == std::string_view::npos ? std::string_view() : field.substr(eq + 1), &charset);
    if (!key || !value) {
      result.error = "malformed query string";
      return result;
    }
    if (*key == "q" && !haveQ) {
      haveQ = true;
      result.q = *value;
      result.charset = charset;
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
