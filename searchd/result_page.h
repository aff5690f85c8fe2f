// The HTML result page of the search service. Each result is a title line and a
// snippet line; the snippet line holds the whole sentence and nothing after its
// final stop, with every occurrence of the query phrase inside <b> and </b>.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "query_decode.h"
#include "search_hit.h"

namespace talewick::search {

// The program refuses a result page above this size.
inline constexpr std::size_t kMaxPageBytes = std::size_t{8} * 1024 * 1024;
// Room for the results on one page: the rest is the frame around them, which
// holds the query text three times, escaped.
inline constexpr std::size_t kMaxHitBytes = kMaxPageBytes - std::size_t{64} * 1024;

// Escapes '&', '<' and '>' for HTML text. Quotes stay as they are: a reader that
// collects the letters after a highlight would take "quot" for a word.
std::string EscapeHtmlText(std::string_view text);

// Escapes text for a double-quoted attribute value ('"' as well).
std::string EscapeHtmlAttribute(std::string_view text);

// The snippet of one hit: the escaped sentence with its matches in <b></b>.
std::string HighlightSnippet(const SearchHit& hit);

// The markup of one result: its title line and its snippet line.
std::string RenderResultBlock(const SearchHit& hit);

// The most bytes RenderResultBlock gives for a hit whose title and sentence are
// no longer than these.
std::size_t MostResultBlockBytes(std::size_t titleBytes, std::size_t sentenceBytes);

// `hits` when their results fit in kMaxHitBytes; otherwise as many of them as fit,
// taken evenly spaced from the list so that they still come from all of it.
std::vector<SearchHit> FitOnPage(std::vector<SearchHit> hits);

// The name of the character set, as a page and its header declare it.
const char* CharsetName(PageCharset charset);

// The whole page for the decoded query text `q` and its hits (none for a query
// without results, which still gives a normal page), in `charset`. Results that
// no longer fit once in that character set are left out as FitOnPage leaves
// them.
std::string RenderResultPage(std::string_view q, const std::vector<SearchHit>& hits,
                             PageCharset charset = PageCharset::kUtf8);

// A short page for refused requests.
std::string RenderErrorPage(int status, std::string_view reason);

}  // namespace talewick::search
