// The first two stages of a cycle. DownloadString keeps the lower-cased input for
// the query; DisectInput splits the input at spaces and keeps, in InputWords, the
// words that "dictionary.txt" lists, reporting the others as "bad word".
#include "query/input_words.h"

#include <string>

#include "core/debug_log.h"
#include "core/story_state.h"
#include "text/text_file.h"
#include "window/window_layer.h"

namespace {

// DisectInput empties only the slots an input of ordinary length reaches.
constexpr int kClearedWordSlots = 30;
// The last slot of InputWords; accepted words beyond it are not stored.
constexpr int kLastWordSlot = kWordTableSlots - 1;

constexpr const char* kWordListName = "dictionary.txt";
constexpr const char* kWordListError = "error reading file: dictonary.txt";

void ReportMissingWordList() {
  DebugLog(kWordListError);
  SetControlText(kStatusBar, kWordListError);
  ShowMessageBox(kWordListError, "sub DisectInput", 0);
}

// Looks up the word in InputText. The list is opened and read anew for every word
// and no copy of it is kept, so an edit takes effect from the next word on and a
// missing list is reported for each one.
bool WordListAccepts() {
  const bool opened = FileOpen(Story.WorkFile, TextJoin(StartFolder(), kWordListName), "r") == 0;
  const bool found = opened && FileHasLine(Story.WorkFile, Story.InputText);
  FileClose(Story.WorkFile);  // harmless when the open failed
  if (!opened) ReportMissingWordList();
  return found;
}

// The word collected in WordBuilder is complete: trim, look up, keep or report.
void TakeWord() {
  TextCopy(Story.InputText, TextTrimLeft(TextTrimRight(Story.WordBuilder)));
  if (WordListAccepts()) {
    if (Story.WordCount <= kLastWordSlot) {
      TextCopy(Story.InputWords[Story.WordCount], Story.InputText);
      ++Story.WordCount;
    }
  } else {
    SetControlText(kStatusBar, "bad word");
  }
  TextCopy(Story.WordBuilder, "");
}

}  // namespace

void DownloadString() {
  DebugLog("DownloadString");
  TextCopy(Story.LoweredInput, TextLower(Story.InputText));
}

void DisectInput() {
  DebugLog("DisectInput");
  TextCopy(Story.WordBuilder, "");
  TextCopy(Story.InputCopy, "");
  Story.WordCount = 1;
  TextCopy(Story.InputCopy, TextLower(Story.InputText));
  Story.InputLength = TextLength(Story.InputText);
  for (int slot = 1; slot <= kClearedWordSlots; ++slot) TextCopy(Story.InputWords[slot], "");

  // The position one past the last character is visited too: it ends the last word.
  for (Story.ScanPos = 0; Story.ScanPos <= Story.InputLength; ++Story.ScanPos) {
    const char c = static_cast<char>(CharAt(Story.InputCopy, Story.ScanPos));
    TextAppendChar(Story.WordBuilder, c);
    if (c == ' ' || Story.ScanPos == Story.InputLength) TakeWord();
  }
}
