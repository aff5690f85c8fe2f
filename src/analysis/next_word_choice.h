// The second half of SecondPartDLF, first step: the continuation that occurred
// most often and was not chosen in the last 99 cycles, and the next input.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "analysis/candidate_table.h"

struct WordChoice {
  std::string text;   // as stored in the table (may start with a space); empty when none
  int32_t bestCount;  // 0 when no entry qualified
};

// Walks the entries in order; of equal counts the first wins. When none
// qualifies the choice is entry 1 (empty for an empty table) with count 0.
// Logs "already used" for each skipped entry, then the count and the choice.
WordChoice ChooseContinuation(const CandidateTable& table);

// Whether `text` equals one of OutputHistory slots 1..99.
bool UsedRecently(std::string_view text);

// NextInput := the choice without leading blanks; when that is empty, InputWords
// slot 1, then the text of the input box, then "and".
void SetNextInput(std::string_view choice);
