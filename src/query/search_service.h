// Where the search requests go: the scheme and host of the search service and
// the site the search is restricted to. Compiled-in defaults, overridden by the
// environment variables TALEWICK_SEARCH_HOST (e.g. http://127.0.0.1:8080) and
// TALEWICK_SEARCH_SITE (a domain).
#pragma once

#include <string>

inline constexpr const char* kDefaultSearchHost = "http://www.google.com";
inline constexpr const char* kDefaultSearchSite = "blogspot.com";

// scheme and host + "/search?hl=en&q="
std::string SearchUrlPrefixText();
// "+site%3A" + site + "&btnG=Google+Search&meta="
std::string SearchUrlSuffixText();
