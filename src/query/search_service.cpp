// Builds the fixed parts of the search URL from the compiled-in service or the
// environment's TALEWICK_SEARCH_HOST and TALEWICK_SEARCH_SITE.
#include "query/search_service.h"

#include <cstdlib>

static std::string EnvironmentOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? std::string(value) : std::string(fallback);
}

std::string SearchUrlPrefixText() {
  std::string host = EnvironmentOr("TALEWICK_SEARCH_HOST", kDefaultSearchHost);
  while (!host.empty() && host.back() == '/')
    host.pop_back();  // "http://h:1/" reads as "http://h:1"
  return host + "/search?hl=en&q=";
}

std::string SearchUrlSuffixText() {
  return "+site%3A" + EnvironmentOr("TALEWICK_SEARCH_SITE", kDefaultSearchSite) +
         "&btnG=Google+Search&meta=";
}
