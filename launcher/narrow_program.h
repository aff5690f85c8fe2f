// The window program names its files in the system's narrow encoding: on
// Windows it is an ANSI program, whose code page cannot spell every folder. The
// launcher starts it through spellings it can use. One implementation per
// platform: narrow_program_win32.cpp, and narrow_program_posix.cpp, where every
// program names files in UTF-8 and nothing needs doing.
#pragma once

#include <string>

namespace talewick {

struct NarrowStart {
  std::string program;  // the path to start the program by; empty when there is none
  std::string folder;   // when there is none: the folder it cannot be given
};

// How to start the window program `programName`, in `programFolder`, so that it
// can name its folders, the story folder `storyFolder` among them: by its path,
// or by a spelling of its folder that the program can use, with the environment
// it finds the user's folder through set to such a spelling too. All UTF-8.
NarrowStart PrepareNarrowProgram(const std::string& programFolder, const std::string& programName,
                                 const std::string& storyFolder);

}  // namespace talewick
