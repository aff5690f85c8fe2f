// The search service's request parsing on random query strings, from a hostile
// client: no crash; a decoded value is clean UTF-8 without control bytes; the
// parsed words are non-empty, lower-case, hold no blank and are each one whole
// word to the index's word rules (Unicode punctuation included); every byte sequence
// that is clean text survives percent-encoding and decoding unchanged; the
// escaped HTML text holds no markup of its own.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "searchd/http/query_decode.h"
#include "searchd/http/result_page.h"
#include "searchd/text/words.h"

using fuzz::Require;
using namespace talewick::search;

namespace {

// Independent of the service's own check: UTF-8 structure, no C0 controls or DEL.
bool CleanUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t follow = 0;
    if (c < 0x80) {
      if (c < 0x20 || c == 0x7F) return false;
    } else if (c >= 0xC2 && c <= 0xDF) {
      follow = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      follow = 2;
    } else if (c >= 0xF0 && c <= 0xF4) {
      follow = 3;
    } else {
      return false;
    }
    if (i + follow >= text.size() && follow > 0) return false;
    for (size_t k = 1; k <= follow; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += follow + 1;
  }
  return true;
}

std::string PercentEncoded(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);

  if (const auto decoded = DecodeFormValue(raw)) {
    Require(CleanUtf8(*decoded), "a decoded value is not clean UTF-8");
  }
  if (CleanUtf8(raw)) {
    const auto back = DecodeFormValue(PercentEncoded(raw));
    Require(back.has_value() && *back == raw, "clean text did not survive encoding");
  }

  const QueryParseResult parsed = ParseSearchQuery(raw);
  if (parsed.ok) {
    for (const std::string& word : parsed.terms.words) {
      Require(!word.empty(), "an empty query word");
      for (char c : word) {
        Require(!(c >= 'A' && c <= 'Z'), "a query word with a capital letter");
        Require(c != ' ' && c != '\t', "a query word with a blank");
      }
      const auto spans = SplitWords(word);
      Require(spans.size() == 1 && spans[0].offset == 0 && spans[0].length == word.size(),
              "a query word that the index would cut differently");
    }
    for (char c : parsed.terms.site) Require(!(c >= 'A' && c <= 'Z'), "a site with a capital");
  }

  const std::string escaped = EscapeHtmlText(raw);
  Require(escaped.find_first_of("<>") == std::string::npos, "markup left in escaped text");
  for (size_t at = escaped.find('&'); at != std::string::npos; at = escaped.find('&', at + 1)) {
    const std::string_view rest = std::string_view(escaped).substr(at);
    Require(rest.rfind("&amp;", 0) == 0 || rest.rfind("&lt;", 0) == 0 || rest.rfind("&gt;", 0) == 0,
            "a bare '&' in escaped text");
  }
  const std::string page = RenderResultPage(parsed.q, {});
  Require(!page.empty(), "an empty result page");
  return 0;
}
