// The third stage: the search words, the search URL around them and the file the
// download writes; and the fixed parts of the URL, from the compiled-in service
// or the environment.
#include "query/search_url.h"

#include <algorithm>
#include <cstdlib>

#include "base/percent_encoding.h"
#include "core/debug_log.h"

namespace talewick {

namespace {

std::string EnvironmentOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? std::string(value) : std::string(fallback);
}

// Characters of the query that the search service would read with their URL
// meaning: '&' ends the query, '+' is a space, '%' starts an escape and '#' ends
// the URL. Typed into the box they are search words, so they go percent-encoded.
bool HasUrlMeaning(char c) { return c == '&' || c == '+' || c == '%' || c == '#'; }

}  // namespace

void DLFControl() {
  DebugLog("DLFControl");
  const int room =
      kTextCapacity - TextLength(Story.SearchUrlPrefix) - TextLength(Story.SearchUrlSuffix);
  TextCopy(Story.SearchWords,
           WordsThatFitTheUrl(
               SearchWordsFrom(Story.InputWords, Story.WordCount, Story.LoweredInput), room));
  DebugLog(TextJoin("SearchWords: ", Story.SearchWords));
  TextCopy(Story.SearchUrl,
           SearchUrlFor(Story.SearchUrlPrefix, Story.SearchWords, Story.SearchUrlSuffix));
  TextCopy(Story.DownloadTarget, Story.ResultPagePath);
  DebugLog(TextJoin("SearchString: ", Story.SearchUrl));
  DebugLog(TextJoin("DownloadFile: ", Story.DownloadTarget));
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

std::string SearchWordsFrom(const WordTable& inputWords, int wordCount,
                            std::string_view loweredInput) {
  // Each step is stored in a text, so a long query is cut where the stage cut it.
  BoundedText words{};
  BoundedText scratch{};
  if (wordCount > 2) {
    // wordCount never passes the table; the clamp keeps the slots read inside it.
    const int next = std::clamp(wordCount, 3, kWordTableSlots);
    std::string joined = TextTrimLeft(inputWords[next - 3]);
    joined = TextJoin(joined, " ");
    joined = TextJoin(joined, TextTrimLeft(inputWords[next - 2]));
    joined = TextJoin(joined, " ");
    joined = TextJoin(joined, TextTrimLeft(inputWords[next - 1]));
    TextCopy(words, joined);
    TextCopy(scratch, TextLower(words));
    TextCopy(words, TextTrimRight(scratch));
    TextCopy(scratch, TextTrimLeft(words));
  } else {
    // The lower-cased input, rejected words and inner runs of spaces included.
    TextCopy(scratch, TextTrimRight(loweredInput));
    TextCopy(scratch, TextTrimLeft(scratch));
  }
  return std::string(scratch);
}

// A URL cut at the capacity of its text would lose the site restriction (and end
// in the middle of a word), so too long search words lose their oldest words
// instead: the continuation the story needs follows the last ones. A cut word
// would search for something else.
std::string WordsThatFitTheUrl(std::string_view words, int room) {
  // Walks back from the end while the tail fits, noting where its first whole word starts.
  size_t start = words.size();
  int used = 0;
  for (size_t at = words.size(); at > 0; --at) {
    used += HasUrlMeaning(words[at - 1]) ? 3 : 1;
    if (used > room) break;
    if (at == 1 || words[at - 2] == ' ') start = at - 1;
  }
  return TextTrimLeft(words.substr(start));
}

std::string SearchUrlFor(std::string_view prefix, std::string_view words, std::string_view suffix) {
  static const ByteSet kKept =
      BytesWhere([](unsigned char c) { return !HasUrlMeaning(static_cast<char>(c)); });
  return TextJoin(std::string(prefix) + PercentEncode(words, kKept), suffix);
}

}  // namespace talewick
