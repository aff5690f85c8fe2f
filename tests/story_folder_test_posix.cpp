// The story-folder test on POSIX: the user's folder under $HOME (the XDG
// variable left empty, so its fallback is used), the word list shipped in
// ../share/talewick/, and /proc as the folder no one may create files in.
#include <stdlib.h>

#include <string>

void SetUserBase(const std::string& base) {
  setenv("XDG_DATA_HOME", "", 1);
  setenv("HOME", base.c_str(), 1);
}

std::string StoryFolderUnder(const std::string& base) { return base + "/.local/share/talewick/"; }

std::string ShippedWordListFor(const std::string& programFolder) {
  return programFolder + "../share/talewick/dictionary.txt";
}

std::string UnwritableFolder() { return "/proc/"; }
