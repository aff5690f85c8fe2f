// Choosing the next input from the candidate table and the history of choices.
#include "analysis/next_word_choice.h"

#include "core/debug_log.h"
#include "core/story_state.h"
#include "window/window_layer.h"

namespace {

constexpr const char* kAlreadyUsed = "output already used in the past 99 inputs";
constexpr int kFirstHistorySlot = 1;

}  // namespace

bool UsedRecently(std::string_view text) {
  for (int slot = kFirstHistorySlot; slot <= kLastHistorySlot; ++slot) {
    if (TextEquals(Story.OutputHistory[slot], text)) return true;
  }
  return false;
}

WordChoice ChooseContinuation(const CandidateTable& table) {
  WordChoice choice{std::string(table.text[1].view()), 0};
  for (int entry = 1; entry <= kCandidateEntries; ++entry) {
    // Strictly greater: a later entry with an equal count never wins.
    if (table.count[entry] <= choice.bestCount) continue;
    if (UsedRecently(table.text[entry])) {
      DebugLog(kAlreadyUsed);
      SetControlText(kStatusBar, kAlreadyUsed);
      continue;
    }
    choice.text = std::string(table.text[entry].view());
    choice.bestCount = table.count[entry];
  }
  DebugLog(TextJoin("message...SecondPartDLF...output that occurs the most number:",
                    NumberText(choice.bestCount)));
  DebugLog(choice.text);
  return choice;
}

void SetNextInput(std::string_view choice) {
  TextCopy(Story.NextInput, TextTrimLeft(choice));
  if (Story.NextInput.empty()) TextCopy(Story.NextInput, Story.InputWords[1]);
  if (Story.NextInput.empty()) TextCopy(Story.NextInput, GetControlText(kInputBox));
  if (Story.NextInput.empty()) TextCopy(Story.NextInput, "and");
}
