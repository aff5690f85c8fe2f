// Storage of the state record.
#include "core/story_state.h"

#include <cstring>
#include <type_traits>

namespace talewick {

static_assert(std::is_trivially_copyable_v<StoryState>,
              "StoryState must stay plain data: it is zero-filled, never constructed");

StoryState Story;

void ClearStoryState() { std::memset(&Story, 0, sizeof Story); }

DataFilePaths DataFiles;

void UseStoryFolder(std::string_view folder) {
  DataFiles.wordList = TextJoin(folder, "dictionary.txt");
  DataFiles.storyFile = TextJoin(folder, "OutPutTextFile.txt");
  TextCopy(Story.ResultPagePath, TextJoin(folder, "googleblog.htm"));
}

}  // namespace talewick
