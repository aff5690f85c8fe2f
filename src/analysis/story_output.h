// The second half of SecondPartDLF, last step: a non-empty choice is shown in the
// story list, appended to "OutPutTextFile.txt" and remembered in the history.
#pragma once

#include <string_view>

// All three steps below, in order.
void RecordChoice(std::string_view choice);

// One list line for up to 100 characters; a longer choice is split at its first
// space from index 80 on (the space starts the second line), or at 100 when there
// is none, so that the two lines together are the choice.
void ShowChoiceInList(std::string_view choice);

// Appends the choice and CR LF to the story file beside the executable; reports a
// file that cannot be opened, or that cannot take the whole line, and goes on.
void AppendToStoryFile(std::string_view choice);

// Stores the choice in the history ring over slots 1..99.
void RememberChoice(std::string_view choice);
