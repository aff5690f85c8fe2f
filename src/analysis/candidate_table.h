// The distinct continuations found after the search words on one result page,
// each with the number of times it occurred. One SecondPartDLF builds the table
// and reads it; nothing of it is kept between cycles.
#pragma once

#include <cstdint>
#include <string_view>

#include "text/bounded_text.h"

inline constexpr int kCandidateEntries = 100;

// Entries are numbered 1 to 100 (index 0 is unused, so numbers and indices
// agree). Entries 1 to nextFree - 1 are in use, in the order in which their texts
// were first counted; the others are empty with count 0.
struct CandidateTable {
  BoundedText text[kCandidateEntries + 1];
  int32_t count[kCandidateEntries + 1];
  int nextFree;
};

// Empties every entry; nextFree becomes 1.
void ClearCandidates(CandidateTable& table);

// Adds one occurrence: an entry with an equal text counts one more; otherwise the
// text takes the next free entry with count 1, or is not counted when all 100
// entries are in use.
void CountCandidate(CandidateTable& table, std::string_view candidate);
