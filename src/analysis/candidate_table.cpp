// Counting continuations: linear over at most 100 entries, exact comparison.
#include "analysis/candidate_table.h"

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
