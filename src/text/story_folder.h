// Where the program keeps its data files, decided once per process: its own
// folder when the user can write there and the folder leaves room for every data
// file's name in a text field; otherwise the user's own folder. The launcher and
// the search service take their folders from here too.
#pragma once

#include <string>
#include <string_view>

namespace talewick {

// The data file with the longest name: the story folder's path with it must fit
// the program's text fields, or some path would be cut.
inline constexpr std::string_view kLongestDataFileName = "OutPutTextFile.txt";

// The file that the installer puts beside the programs: a program folder that
// holds it is an installed copy's, which keeps its files in the user's folder
// always, even where the user may write to the program's.
inline constexpr std::string_view kInstalledMarkerName = "installed.txt";

struct StoryFolderChoice {
  std::string folder;   // ends in the separator; empty when no folder can be used
  std::string problem;  // when `folder` is empty: why, in words the user can act on
};

// The folder of the running executable, with its trailing separator; empty when
// the system cannot tell it.
std::string ProgramFolder();

// The rule for a program in `programFolder` (empty when unknown): that folder when
// it is usable and not an installed copy's, else the user's folder, made when missing and given the
// shipped word list when it has none. Only full paths are ever used: with neither folder usable the
// choice is empty and says why.
StoryFolderChoice ChooseStoryFolder(const std::string& programFolder);

// This process's choice for its own program folder, made by the first call.
const StoryFolderChoice& StoryFolder();

// The folder of the data files, StoryFolder().folder: empty when there is none.
std::string StartFolder();

// The platform's part, one implementation per platform: story_folder_posix.cpp
// and story_folder_win32.cpp.

// The user's folder for stories, ending in the separator and not made here:
// ${XDG_DATA_HOME:-$HOME/.local/share}/talewick/ or %APPDATA%\Talewick\. Empty
// when the environment gives no full path for it.
std::string UserStoryFolderPath();
// The environment variables that name the user's folder, as the user would write them.
std::string_view UserFolderVariables();
// Where the word list ships, for a program in `programFolder`.
std::string ShippedWordListPath(const std::string& programFolder);

// Makes `folder` unless it is one already; true when it is a folder afterwards.
bool MakeFolder(const std::string& folder);
// Whether a file can be created in `folder` right now, found out by creating one
// (and removing it): permissions, read-only media and the like all count.
bool CanCreateFilesIn(const std::string& folder);
bool FileExists(const std::string& path);
// Copies `source` to `target` through a temporary file renamed into place, so that
// a copy cut short never stands under the target's name.
void CopyIntoPlace(const std::string& source, const std::string& target);

}  // namespace talewick
