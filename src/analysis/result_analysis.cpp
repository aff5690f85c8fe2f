// The fifth stage: scan the result page into a candidate table, choose the next
// input from it and the history of choices, and record a non-empty choice in the
// story list, the story file and the history ring.
#include "analysis/result_analysis.h"

#include "core/debug_log.h"
#include "window/window_layer.h"

namespace talewick {

namespace {

constexpr const char* kAlreadyUsed = "output already used in the past 99 inputs";
constexpr const char* kStoryFileError = "error writing to file: OutPutTextFile.txt";
constexpr int kFirstHistorySlot = 1;
constexpr int kListLineWidth = 100;
constexpr int kSplitSearchStart = 80;

void Report(const char* message) {
  DebugLog(message);
  SetControlText(kStatusBar, message);
}

// Fills `table` from the page at ResultPagePath; left empty when the page cannot
// be opened.
void ScanResultPage(CandidateTable& table) {
  // The search uses the whole pattern; SearchWords keeps what fits of it.
  const std::string pattern = HighlightPattern(Story.SearchWords);
  TextCopy(Story.SearchWords, pattern);
  ClearCandidates(table);
  DebugLog(TextJoin("message...SecondPartDLF...SearchWords: ", pattern));
  if (FileOpen(Story.PageFile, Story.ResultPagePath, "r") != 0) {
    DebugLog("error...SecondPartDLF: Unable to open file to search ");
    return;
  }
  ScanPage(Story.PageFile, pattern, Story.LineBuffer, Story.LineText, table);
  FileClose(Story.PageFile);
}

void RecordChoice(const std::string& choice) {
  for (const std::string& line : StoryListLines(choice)) AddListLine(kStoryList, line);
  if (!AppendStoryLine(Story.WorkFile, DataFiles.storyFile, choice)) Report(kStoryFileError);
  Story.HistoryIndex = NextHistorySlot(Story.HistoryIndex);
  TextCopy(Story.OutputHistory[Story.HistoryIndex], choice);
}

}  // namespace

void SecondPartDLF() {
  DebugLog("SecondPartDLF");
  CandidateTable table;  // about 26 KB, filled from empty by the scan
  ScanResultPage(table);
  const WordChoice choice = ChooseContinuation(table, Story.OutputHistory);
  for (int i = 0; i < choice.usedSkipped; ++i) Report(kAlreadyUsed);
  DebugLog(TextJoin("message...SecondPartDLF...output that occurs the most number:",
                    NumberText(choice.bestCount)));
  DebugLog(choice.text);
  TextCopy(Story.NextInput,
           NextInputFor(choice.text, Story.InputWords[1], GetControlText(kInputBox)));
  if (!choice.text.empty()) RecordChoice(choice.text);
}

bool UsedRecently(const WordTable& history, std::string_view text) {
  for (int slot = kFirstHistorySlot; slot <= kLastHistorySlot; ++slot) {
    if (TextEquals(history[slot], text)) return true;
  }
  return false;
}

WordChoice ChooseContinuation(const CandidateTable& table, const WordTable& history) {
  WordChoice choice{std::string(table.text[1].view()), 0, 0};
  for (int entry = 1; entry <= kCandidateEntries; ++entry) {
    // Strictly greater: a later entry with an equal count never wins.
    if (table.count[entry] <= choice.bestCount) continue;
    if (UsedRecently(history, table.text[entry])) {
      ++choice.usedSkipped;
      continue;
    }
    choice.text = std::string(table.text[entry].view());
    choice.bestCount = table.count[entry];
  }
  return choice;
}

std::string NextInputFor(std::string_view choice, std::string_view firstWord,
                         std::string_view inputBoxText) {
  std::string next = TextTrimLeft(choice);
  if (next.empty()) next = firstWord;
  if (next.empty()) next = inputBoxText;
  if (next.empty()) next = "and";
  return next;
}

std::vector<std::string> StoryListLines(std::string_view choice) {
  if (TextLength(choice) <= kListLineWidth) return {std::string(choice)};
  int split = kListLineWidth;
  for (int i = kSplitSearchStart; i < TextLength(choice); ++i) {
    if (CharAt(choice, i) == ' ') {
      split = i;
      break;
    }
  }
  return {TextLeft(choice, split), TextMid(choice, split + 1, -1)};
}

// A line the file layer could not write whole (a full disk) is not in the file
// at all; it is reported as a file that cannot be opened is.
bool AppendStoryLine(TextFile& file, std::string_view path, std::string_view line) {
  if (FileOpen(file, path, "a") != 0) return false;
  const bool written = FileWriteLine(file, line) == static_cast<int>(line.size()) + 2;
  FileClose(file);
  return written;
}

int NextHistorySlot(int historyIndex) {
  const int next = historyIndex + 1;
  return next > kLastHistorySlot || next < kFirstHistorySlot ? kFirstHistorySlot : next;
}

}  // namespace talewick
