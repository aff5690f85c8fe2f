// The first half of SecondPartDLF: reads the result page line by line, finds every
// place where the search words stand highlighted ("<b>" + words + "</b>") and
// counts the plain text that follows each one.
#pragma once

#include <string>
#include <string_view>

#include "analysis/candidate_table.h"

// At most this many occurrences are taken from one line.
inline constexpr int kMaxOccurrencesPerLine = 101;

// "<b>" + lower-cased search words + "</b>".
std::string HighlightPattern(std::string_view searchWords);

// Turns SearchWords into the highlight pattern and fills `table` from the page at
// ResultPagePath (left empty when the page cannot be opened).
void ScanResultPage(CandidateTable& table);

// Finds, masks and walks the occurrences of `pattern` in Story.LineText, which
// holds one lower-cased page line, and offers each continuation to `table`.
void ScanLineText(std::string_view pattern, bool& inTag, CandidateTable& table);

// The continuation of the occurrence at 1-based position `p` of `line`: letters
// a-z and spaces outside tags, up to a full stop, at most 199 characters. `inTag`
// carries the tag state from one walk to the next.
std::string WalkSnippet(std::string_view line, int p, int patternLength, bool& inTag);

// Logs the candidate, removes its first "nbsp" and counts it unless it is empty,
// a single space or shorter than 3 characters.
void OfferCandidate(CandidateTable& table, std::string candidate);
