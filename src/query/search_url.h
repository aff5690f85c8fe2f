// The third stage, DLFControl: the search words (the last three accepted words,
// or the whole lower-cased input when fewer than two were accepted) and the
// search URL around them. Where the requests go: the scheme and host of the
// search service and the site the search is restricted to, compiled-in defaults
// overridden by the environment variables TALEWICK_SEARCH_HOST (e.g.
// http://127.0.0.1:8080) and TALEWICK_SEARCH_SITE (a domain).
#pragma once

#include <string>
#include <string_view>

#include "core/story_state.h"

namespace talewick {

inline constexpr const char* kDefaultSearchHost = "http://www.google.com";
inline constexpr const char* kDefaultSearchSite = "blogspot.com";

// Reads WordCount, InputWords, LoweredInput, SearchUrlPrefix, SearchUrlSuffix and
// ResultPagePath; writes SearchWords, SearchUrl and DownloadTarget.
void DLFControl();

// scheme and host + "/search?hl=en&q="
std::string SearchUrlPrefixText();
// "+site%3A" + site + "&btnG=Google+Search&meta="
std::string SearchUrlSuffixText();

// With at least two accepted words (`wordCount` > 2; the words are in slots 1 to
// wordCount - 1 of `inputWords`), the last three joined by single spaces (slot 0,
// always empty, stands in for the first of two); otherwise `loweredInput`. Lower-
// cased, trimmed and cut at the capacity of a text.
std::string SearchWordsFrom(const WordTable& inputWords, int wordCount,
                            std::string_view loweredInput);

// The longest run of newest whole words of `words` that takes at most `room` URL
// characters (a character with a URL meaning takes three); empty when not even
// the newest word fits.
std::string WordsThatFitTheUrl(std::string_view words, int room);

// prefix + the words with '&', '+', '%' and '#' percent-encoded + suffix. Spaces
// stay literal: the download encodes them on the wire.
std::string SearchUrlFor(std::string_view prefix, std::string_view words, std::string_view suffix);

}  // namespace talewick
