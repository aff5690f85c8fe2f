// The user's folders that the environment names, in UTF-8: the ground of the
// story-folder rule (text/story_folder.h) and of the search service's index
// cache. One implementation per platform: user_folders_posix.cpp and
// user_folders_win32.cpp.
#pragma once

#include <string>

namespace talewick {

// The folder the environment variable `variable` names, ending in one
// separator; empty when it names no full path (a relative one would move with
// the current folder).
std::string FolderNamedBy(const char* variable);

// The folder where the search service keeps its index files, ending in the
// separator and not made here: $XDG_CACHE_HOME/talewick/ (~/.cache/talewick/), or
// %LOCALAPPDATA%\Talewick\cache\. Empty when the environment gives no full path.
std::string IndexCacheFolder();

}  // namespace talewick
