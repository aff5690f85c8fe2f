// Recording a chosen continuation: story list, story file and history ring.
#include "analysis/story_output.h"

#include <string>

#include "core/debug_log.h"
#include "core/story_state.h"
#include "window/window_layer.h"

namespace {

constexpr int kListLineWidth = 100;
constexpr int kSplitSearchStart = 80;
constexpr const char* kStoryFileName = "OutPutTextFile.txt";
constexpr const char* kStoryFileError = "error writing to file: OutPutTextFile.txt";

// 0-based index where a long choice is split into two list lines.
int ListSplitIndex(std::string_view choice) {
  for (int i = kSplitSearchStart; i < TextLength(choice); ++i) {
    if (CharAt(choice, i) == ' ') return i;
  }
  return kListLineWidth;
}

}  // namespace

void ShowChoiceInList(std::string_view choice) {
  if (TextLength(choice) <= kListLineWidth) {
    AddListLine(kStoryList, choice);
    return;
  }
  const int split = ListSplitIndex(choice);
  AddListLine(kStoryList, TextLeft(choice, split));
  AddListLine(kStoryList, TextMid(choice, split + 1, -1));
}

void AppendToStoryFile(std::string_view choice) {
  // A line the file layer could not write whole (a full disk) is not in the file
  // at all; it is reported as a file that cannot be opened is.
  bool written = false;
  if (FileOpen(Story.WorkFile, TextJoin(StartFolder(), kStoryFileName), "a") == 0) {
    written = FileWriteLine(Story.WorkFile, choice) == static_cast<int>(choice.size()) + 2;
    FileClose(Story.WorkFile);
  }
  if (!written) {
    DebugLog(kStoryFileError);
    SetControlText(kStatusBar, kStoryFileError);
  }
}

void RememberChoice(std::string_view choice) {
  ++Story.HistoryIndex;
  if (Story.HistoryIndex > kLastHistorySlot || Story.HistoryIndex < 1) Story.HistoryIndex = 1;
  TextCopy(Story.OutputHistory[Story.HistoryIndex], choice);
}

void RecordChoice(std::string_view choice) {
  ShowChoiceInList(choice);
  AppendToStoryFile(choice);
  RememberChoice(choice);
}
