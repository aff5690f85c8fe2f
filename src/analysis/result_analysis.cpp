// The fifth stage: scan the result page into a candidate table, choose the next
// input from it, and record a non-empty choice.
#include "analysis/result_analysis.h"

#include "analysis/candidate_table.h"
#include "analysis/next_word_choice.h"
#include "analysis/snippet_scan.h"
#include "analysis/story_output.h"
#include "core/debug_log.h"

void SecondPartDLF() {
  DebugLog("SecondPartDLF");
  CandidateTable table;  // about 26 KB, filled from empty by the scan
  ScanResultPage(table);
  const WordChoice choice = ChooseContinuation(table);
  SetNextInput(choice.text);
  if (!choice.text.empty()) RecordChoice(choice.text);
}
