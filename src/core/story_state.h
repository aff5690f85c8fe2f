// The one process-wide record through which the stages of a generation cycle
// talk to each other. It is statically allocated and zero-filled at process
// start; start-up then sets the few fields that have start values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/bounded_text.h"
#include "text/text_file.h"

namespace talewick {

inline constexpr int kWordTableSlots = 100;
using WordTable = BoundedText[kWordTableSlots];
// OutputHistory is a ring over slots 1 to this one; slot 0 is never written.
inline constexpr int kLastHistorySlot = kWordTableSlots - 1;

// Fields in the order in which they are laid out. A store past a text's capacity
// is cut by the text operations, so it can never reach a neighbouring field.
struct StoryState {
  BoundedText Title;            // program title; DebugLog prefix and window caption
  LargeText LineBuffer;         // the line just read from the result page
  LargeText LineText;           // lower-cased copy of LineBuffer, searched and masked
  WordTable OutputHistory;      // chosen texts of earlier cycles; ring over slots 1..99
  int32_t HistoryIndex;         // slot of OutputHistory written last (0 before the first)
  WordTable InputWords;         // accepted words of the current input, from slot 1 up
  BoundedText WordBuilder;      // characters of the word being collected
  int32_t ScanPos;              // 0-based position in InputCopy
  BoundedText InputText;        // the current input; each word in turn during DisectInput
  int32_t InputLength;          // length of InputText when DisectInput starts
  int32_t WordCount;            // next free InputWords slot (1 when none accepted)
  BoundedText InputCopy;        // lower-cased copy of InputText, split into words
  BoundedText SearchWords;      // words sent to the search; later the highlight pattern
  TextFile ProbeFile;           // existence test of the downloaded page
  BoundedText ResultPagePath;   // StartFolder + "googleblog.htm"
  BoundedText SearchUrlPrefix;  // scheme and host + "/search?hl=en&q="
  BoundedText SearchUrlSuffix;  // "+site%3A" + site + "&btnG=Google+Search&meta="
  TextFile PageFile;            // reading the result page
  uint8_t WindowOpen;           // the event loop runs while 1
  BoundedText LoweredInput;     // lower-cased copy of the input made by DownloadString
  BoundedText SearchUrl;        // full URL of the current search
  BoundedText DownloadTarget;   // file path handed to the download
  BoundedText NextInput;        // text chosen by the last cycle: input of the next tick
  uint8_t KeepRunning;          // the timer is re-armed after a cycle only while 1
  TextFile WorkFile;            // "dictionary.txt" and "OutPutTextFile.txt"
};

// The record itself (about 2 MB, in zero-filled static storage).
extern StoryState Story;

// Returns every field to its zero value, as at process start (used by start-up
// and by tests that run many cycles in one process).
void ClearStoryState();

// Full paths of the data files that the stages open, built once at start-up from
// the story folder, so that every file of a run lies in the same folder.
struct DataFilePaths {
  std::string wordList;   // "dictionary.txt"
  std::string storyFile;  // "OutPutTextFile.txt"
};
extern DataFilePaths DataFiles;

// Names every data file in `folder` (which ends in its separator): DataFiles and
// Story.ResultPagePath. The folder leaves room for the longest data file name.
void UseStoryFolder(std::string_view folder);

}  // namespace talewick
