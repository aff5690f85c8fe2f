// The third stage: the search words (the last three accepted words, or the whole
// lower-cased input when fewer than two were accepted), the search URL around
// them and the file the download writes.
#include "query/search_query.h"

#include <algorithm>
#include <string>

#include "core/debug_log.h"
#include "core/story_state.h"

namespace {

// The last three accepted words joined by single spaces. With two accepted words
// the first of the three slots is slot 0, which is always empty; the trims remove
// the space it leaves.
void UseAcceptedWords(BoundedText& scratch) {
  // WordCount never passes the table; the clamp keeps the slots read inside it.
  const int next = std::clamp(Story.WordCount, 3, kWordTableSlots);
  std::string joined = TextJoin(Story.SearchWords, TextTrimLeft(Story.InputWords[next - 3]));
  joined = TextJoin(joined, " ");
  joined = TextJoin(joined, TextTrimLeft(Story.InputWords[next - 2]));
  joined = TextJoin(joined, " ");
  joined = TextJoin(joined, TextTrimLeft(Story.InputWords[next - 1]));
  TextCopy(Story.SearchWords, joined);
  TextCopy(scratch, TextLower(Story.SearchWords));
  TextCopy(Story.SearchWords, TextTrimRight(scratch));
  TextCopy(scratch, TextTrimLeft(Story.SearchWords));
  TextCopy(Story.SearchWords, scratch);
}

// Fewer than two accepted words: the lower-cased input, rejected words and inner
// runs of spaces included.
void UseWholeInput(BoundedText& scratch) {
  TextCopy(scratch, TextTrimRight(Story.LoweredInput));
  TextCopy(Story.SearchWords, TextTrimLeft(scratch));
}

// Characters of the query that the search service would read with their URL
// meaning: '&' ends the query, '+' is a space, '%' starts an escape and '#' ends
// the URL. Typed into the box they are search words, so they go percent-encoded.
bool HasUrlMeaning(char c) { return c == '&' || c == '+' || c == '%' || c == '#'; }

// The search words as they stand in the URL. Spaces stay literal: the download
// layer encodes them on the wire.
std::string UrlQueryWords(std::string_view words) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url;
  for (const char c : words) {
    if (HasUrlMeaning(c)) {
      const auto byte = static_cast<unsigned char>(c);
      url += {'%', kHex[byte >> 4], kHex[byte & 0x0F]};
    } else {
      url += c;
    }
  }
  return url;
}

// The search words that fit into the URL between its prefix and suffix, counted
// in URL characters (an encoded character takes three). A URL cut at the capacity
// of its text would lose the site restriction (and end in the middle of a word),
// so too long search words lose their oldest words instead: the continuation the
// story needs follows the last ones. The result is the longest run of newest whole
// words that fits; it is empty when not even the newest word fits, since a cut
// word would search for something else.
std::string WordsThatFitTheUrl(std::string_view words) {
  const int room =
      kTextCapacity - TextLength(Story.SearchUrlPrefix) - TextLength(Story.SearchUrlSuffix);
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

}  // namespace

void DLFControl() {
  BoundedText scratch{};
  DebugLog("DLFControl");
  TextCopy(Story.SearchWords, "");
  if (Story.WordCount > 2) {
    UseAcceptedWords(scratch);
  } else {
    UseWholeInput(scratch);
  }
  TextCopy(Story.SearchWords, WordsThatFitTheUrl(Story.SearchWords));
  DebugLog(TextJoin("SearchWords: ", Story.SearchWords));
  TextCopy(Story.SearchUrl,
           TextJoin(TextJoin(Story.SearchUrlPrefix, UrlQueryWords(Story.SearchWords)),
                    Story.SearchUrlSuffix));
  TextCopy(Story.DownloadTarget, Story.ResultPagePath);
  DebugLog(TextJoin("SearchString: ", Story.SearchUrl));
  DebugLog(TextJoin("DownloadFile: ", Story.DownloadTarget));
}
