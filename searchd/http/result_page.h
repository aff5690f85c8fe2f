// The HTML result page of the search service. Each result is a title line and a
// snippet line; the snippet line holds the whole sentence and nothing after its
// final stop, with every occurrence of the query phrase inside <b> and </b>.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "searchd/http/query_decode.h"
#include "searchd/index/page_budget.h"
#include "searchd/index/search_hit.h"

namespace talewick::search {

// Escapes '&', '<' and '>' for HTML text. Quotes stay as they are: a reader that
// collects the letters after a highlight would take "quot" for a word.
std::string EscapeHtmlText(std::string_view text);

// Escapes text for a double-quoted attribute value ('"' as well).
std::string EscapeHtmlAttribute(std::string_view text);

// The snippet of one hit: the escaped sentence with its matches in <b></b>.
std::string HighlightSnippet(const SearchHit& hit);

// The markup of one result: its title line and its snippet line, ResultBlockBytes
// long.
std::string RenderResultBlock(const SearchHit& hit);

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
