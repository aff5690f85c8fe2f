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

// The search words that fit into the URL between its prefix and suffix. A URL cut
// at the capacity of its text would lose the site restriction (and end in the
// middle of a word), so too long search words lose their oldest words instead:
// the continuation the story needs follows the last ones. The result is the
// longest run of newest whole words that fits; it is empty when not even the
// newest word fits, since a cut word would search for something else.
std::string WordsThatFitTheUrl(std::string_view words) {
  const int room =
      kTextCapacity - TextLength(Story.SearchUrlPrefix) - TextLength(Story.SearchUrlSuffix);
  if (TextLength(words) <= room) return std::string(words);
  if (room <= 0) return {};
  // The tail of `room` characters is whole when it starts at the start of a word;
  // otherwise its first, cut word goes.
  size_t start = words.size() - static_cast<size_t>(room);
  if (words[start - 1] != ' ') {
    const size_t space = words.find(' ', start);
    if (space == std::string_view::npos) return {};
    start = space + 1;
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
  // Nothing is escaped: the download layer takes the literal spaces.
  TextCopy(Story.SearchUrl,
           TextJoin(TextJoin(Story.SearchUrlPrefix, Story.SearchWords), Story.SearchUrlSuffix));
  TextCopy(Story.DownloadTarget, Story.ResultPagePath);
  DebugLog(TextJoin("SearchString: ", Story.SearchUrl));
  DebugLog(TextJoin("DownloadFile: ", Story.DownloadTarget));
}
