// Snippet scanning and counting. A page line can hold up to a million bytes, so
// its length is taken once per line and every search and walk works on a view of
// that known length; masking an occurrence with "*"s keeps the length unchanged.
// Table lookups are linear over at most 100 entries, by exact comparison.
#include "analysis/candidate_table.h"

#include <cstring>

#include "core/debug_log.h"

namespace talewick {

namespace {

// The walk looks at k = 0..200 characters from the second one after the
// occurrence; only k = 0..198 can be collected.
constexpr int kLastWalkStep = 200;
constexpr int kLastCollectedStep = 198;
constexpr int kShortestCandidate = 3;

bool IsCollected(unsigned char c) { return (c >= 'a' && c <= 'z') || c == ' '; }

}  // namespace

std::string HighlightPattern(std::string_view searchWords) {
  return TextJoin(TextJoin("<b>", TextLower(searchWords)), "</b>");
}

std::string WalkSnippet(std::string_view line, int p, int patternLength, bool& inTag) {
  std::string candidate;
  const long long length = TextLength(line);
  for (int k = 0; k <= kLastWalkStep; ++k) {
    // 0-based index of the k-th examined character; the one right after the
    // occurrence (index p + P - 1) is never examined.
    const long long at = static_cast<long long>(p) + patternLength + k;
    if (at >= length) break;
    const unsigned char c = CharAt(line, static_cast<int>(at));
    bool stop = false;
    if (k >= 1) {
      if (c == '<') inTag = true;
      if (c == '>') inTag = false;
      if (c == '.') stop = true;
    }
    if (k <= kLastCollectedStep && !inTag && IsCollected(c)) candidate += static_cast<char>(c);
    if (stop) break;
  }
  return candidate;
}

void OfferCandidate(CandidateTable& table, std::string candidate) {
  if (candidate.empty() || candidate == " ") return;
  DebugLog("message...SecondPartDLF");
  DebugLog(candidate);
  const int nbsp = TextFind(candidate, "nbsp", 1);
  if (nbsp > 0)
    candidate = TextJoin(TextLeft(candidate, nbsp - 1), TextMid(candidate, nbsp + 4, -1));
  if (TextLength(candidate) < kShortestCandidate) return;
  CountCandidate(table, candidate);
}

void ScanLineText(LargeText& lineText, std::string_view pattern, bool& inTag,
                  CandidateTable& table) {
  char* bytes = lineText.bytes;
  const std::string_view line(bytes, std::strlen(bytes));  // sees the masks written below
  const int patternLength = TextLength(pattern);
  int searchFrom = 1;
  for (int pass = 0; pass < kMaxOccurrencesPerLine; ++pass) {
    const int p = TextFind(line, pattern, searchFrom);
    if (p == 0) return;
    // The mask has the pattern's length and lies inside the line: the length stays.
    std::memset(bytes + p - 1, '*', static_cast<size_t>(patternLength));
    // Every search is meant to start at position 1. Nothing before p matched,
    // and no match can overlap the mask, since the pattern starts with "<b>" and
    // ends with "</b>": searching on from p finds the same occurrence without
    // reading the line from its start again.
    searchFrom = p;
    OfferCandidate(table, WalkSnippet(line, p, patternLength, inTag));
  }
}

void ClearCandidates(CandidateTable& table) {
  for (int entry = 0; entry <= kCandidateEntries; ++entry) {
    TextCopy(table.text[entry], "");
    table.count[entry] = 0;
  }
  table.nextFree = 1;
}

void CountCandidate(CandidateTable& table, std::string_view candidate) {
  for (int entry = 1; entry < table.nextFree; ++entry) {
    if (TextEquals(table.text[entry], candidate)) {
      ++table.count[entry];
      return;
    }
  }
  if (table.nextFree > kCandidateEntries) return;  // full: later texts are not counted
  TextCopy(table.text[table.nextFree], candidate);
  table.count[table.nextFree] = 1;
  ++table.nextFree;
}

void ScanPage(TextFile& page, std::string_view pattern, LargeText& lineBuffer, LargeText& lineText,
              CandidateTable& table) {
  ClearCandidates(table);
  bool inTag = false;  // cleared once per page, not per line or occurrence
  do {
    FileReadLine(page, lineBuffer);
    TextCopy(lineText, TextLower(lineBuffer));
    ScanLineText(lineText, pattern, inTag, table);
  } while (!FileAtEnd(page));
}

}  // namespace talewick
