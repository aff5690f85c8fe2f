// Reads the query string of a search request the way a browser encodes a form
// (%XX escapes, '+' for space) and splits the q value into phrase words and a site.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talewick::search {

// Longest raw query string served. The program sends a handful of words; anything
// far longer is a broken or hostile client and is refused rather than searched.
inline constexpr std::size_t kMaxQueryBytes = 2048;

// The character set of a result page: the one the query's words came in, so
// that the page holds them as the asker spelled them.
enum class PageCharset { kUtf8, kWindows1252 };

// Decodes one form field into UTF-8: "%XX" becomes that byte and '+' a space.
// Bytes that are not valid UTF-8 are read as Windows-1252, the ANSI code page in
// which the Windows program sends its words; `charset`, when given, tells which
// it was read as. Returns nothing for a cut or non-hex escape, for raw bytes that
// a URL cannot carry, for control bytes, and for bytes that Windows-1252 leaves
// unassigned.
std::optional<std::string> DecodeFormValue(std::string_view raw, PageCharset* charset = nullptr);

struct SearchTerms {
  std::vector<std::string> words;  // lower-case, in query order
  std::string site;                // lower-case; empty when the query names no site
};

// Splits a decoded q value such as "The Cat site:Talewick.org" into its words and
// the domain of its "site:" term (the last one wins when there are several).
SearchTerms ParseSearchTerms(std::string_view q);

struct QueryParseResult {
  bool ok = false;
  std::string error;                         // why the request is refused, when !ok
  std::string q;                             // the decoded q value
  PageCharset charset = PageCharset::kUtf8;  // the one q was read as
  SearchTerms terms;
};

// Parses the raw query string of a search request (the part after '?'). Every
// field must decode; the q field must be present.
QueryParseResult ParseSearchQuery(std::string_view rawQuery);

}  // namespace talewick::search
