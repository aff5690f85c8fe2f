// The fifth stage, SecondPartDLF: scans the downloaded result page for the
// highlighted search words, counts the continuations that follow them, chooses
// the next input, shows it, appends it to the story file and remembers it; with
// the plain functions of its second half.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/candidate_table.h"
#include "core/story_state.h"

namespace talewick {

// Reads SearchWords, ResultPagePath, OutputHistory, HistoryIndex, InputWords slot 1
// and the input box; writes SearchWords (the highlight pattern), LineBuffer,
// LineText, NextInput, OutputHistory and HistoryIndex, the story list and file.
void SecondPartDLF();

struct WordChoice {
  std::string text;   // as stored in the table (may start with a space); empty when none
  int32_t bestCount;  // 0 when no entry qualified
  int usedSkipped;    // entries passed over for being in the history, each one reported
};

// The entry with the highest count whose text is not in `history`; of equal
// counts the first wins. When none qualifies the choice is entry 1 (empty for an
// empty table) with count 0.
WordChoice ChooseContinuation(const CandidateTable& table, const WordTable& history);

// Whether `text` equals one of `history` slots 1..99.
bool UsedRecently(const WordTable& history, std::string_view text);

// The choice without leading blanks; when that is empty, `firstWord` (InputWords
// slot 1), then `inputBoxText`, then "and".
std::string NextInputFor(std::string_view choice, std::string_view firstWord,
                         std::string_view inputBoxText);

// One story-list line for up to 100 characters; a longer choice is split at its
// first space from index 80 on (the space starts the second line), or at 100 when
// there is none, so that the two lines together are the choice.
std::vector<std::string> StoryListLines(std::string_view choice);

// Appends `line` and CR LF to the file at `path` through `file` (closed again);
// false when the file cannot be opened or cannot take the whole line.
bool AppendStoryLine(TextFile& file, std::string_view path, std::string_view line);

// The history slot after `historyIndex` in the ring over slots 1..99.
int NextHistorySlot(int historyIndex);

}  // namespace talewick
