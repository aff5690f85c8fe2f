// The first half of SecondPartDLF: the page is read line by line, every place
// where the search words stand highlighted ("<b>" + words + "</b>") is found, and
// the plain text that follows each one is counted in a candidate table. One
// SecondPartDLF builds the table and reads it; nothing of it is kept between cycles.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/bounded_text.h"
#include "text/text_file.h"

namespace talewick {

inline constexpr int kCandidateEntries = 100;
// At most this many occurrences are taken from one line.
inline constexpr int kMaxOccurrencesPerLine = 101;

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

// "<b>" + lower-cased search words + "</b>".
std::string HighlightPattern(std::string_view searchWords);

// Reads the open `page` to its end, each line into `lineBuffer` and its lower-cased
// copy into `lineText`, and counts the continuations of `pattern` into `table`.
// The tag state runs on from line to line.
void ScanPage(TextFile& page, std::string_view pattern, LargeText& lineBuffer, LargeText& lineText,
              CandidateTable& table);

// Finds, masks with "*" and walks the occurrences of `pattern` in `lineText` (one
// lower-cased page line), at most 101, and offers each continuation to `table`.
void ScanLineText(LargeText& lineText, std::string_view pattern, bool& inTag,
                  CandidateTable& table);

// The continuation of the occurrence at 1-based position `p` of `line`: letters
// a-z and spaces outside tags, up to a full stop, at most 199 characters. `inTag`
// carries the tag state from one walk to the next.
std::string WalkSnippet(std::string_view line, int p, int patternLength, bool& inTag);

// Logs the candidate, removes its first "nbsp" and counts it unless it is empty,
// a single space or shorter than 3 characters.
void OfferCandidate(CandidateTable& table, std::string candidate);

}  // namespace talewick
