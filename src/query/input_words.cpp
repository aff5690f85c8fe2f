// The first two stages of a cycle. DownloadString keeps the lower-cased input for
// the query; DisectInput splits the input at spaces and keeps, in InputWords, the
// words that "dictionary.txt" lists, reporting the others as "bad word".
#include "query/input_words.h"

#include <algorithm>

#include "core/debug_log.h"
#include "core/story_state.h"
#include "text/text_file.h"
#include "window/window_layer.h"

namespace talewick {

namespace {

// DisectInput empties only the slots an input of ordinary length reaches.
constexpr int kClearedWordSlots = 30;
// The last slot of InputWords; accepted words beyond it are not stored.
constexpr int kLastWordSlot = kWordTableSlots - 1;

constexpr const char* kWordListError = "error reading file: dictonary.txt";

void ReportMissingWordList() {
  DebugLog(kWordListError);
  SetControlText(kStatusBar, kWordListError);
  ShowMessageBox(kWordListError, "sub DisectInput", 0);
}

}  // namespace

std::vector<std::string> ListedWords(std::string_view input, const WordLookup& isListed) {
  const std::string lowered = TextLower(input);
  std::vector<std::string> listed;
  size_t start = 0;
  // The position one past the last character ends the last piece.
  for (size_t at = 0; at <= lowered.size(); ++at) {
    if (at < lowered.size() && lowered[at] != ' ') continue;
    const std::string word =
        TextTrimLeft(TextTrimRight(std::string_view(lowered).substr(start, at - start)));
    if (isListed(word)) listed.push_back(word);
    start = at + 1;
  }
  return listed;
}

// The list is opened and read anew for every word and no copy of it is kept, so
// an edit takes effect from the next word on.
WordListAnswer LookUpWord(TextFile& file, std::string_view listPath, std::string_view word) {
  if (FileOpen(file, listPath, "r") != 0) return WordListAnswer::kNoList;
  const bool found = FileHasLine(file, word);
  FileClose(file);
  return found ? WordListAnswer::kListed : WordListAnswer::kNotListed;
}

void DownloadString() {
  DebugLog("DownloadString");
  TextCopy(Story.LoweredInput, TextLower(Story.InputText));
}

void DisectInput() {
  DebugLog("DisectInput");
  TextCopy(Story.InputCopy, TextLower(Story.InputText));
  Story.InputLength = TextLength(Story.InputText);
  for (int slot = 1; slot <= kClearedWordSlots; ++slot) TextCopy(Story.InputWords[slot], "");

  // InputText holds each word while it is looked up, as a nested event may see.
  const std::vector<std::string> words = ListedWords(Story.InputCopy, [](std::string_view word) {
    TextCopy(Story.InputText, word);
    const WordListAnswer answer = LookUpWord(Story.WorkFile, DataFiles.wordList, word);
    if (answer == WordListAnswer::kNoList) ReportMissingWordList();
    if (answer != WordListAnswer::kListed) SetControlText(kStatusBar, "bad word");
    return answer == WordListAnswer::kListed;
  });

  const int stored = std::min(static_cast<int>(words.size()), kLastWordSlot);
  for (int i = 0; i < stored; ++i) TextCopy(Story.InputWords[i + 1], words[i]);
  Story.WordCount = stored + 1;
  Story.ScanPos = Story.InputLength + 1;
  TextCopy(Story.WordBuilder, "");
}

}  // namespace talewick
