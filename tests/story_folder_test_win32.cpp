// The story-folder test on Windows: the user's folder under %APPDATA%, the word
// list shipped beside the program, and Z:\proc\, which Wine maps to the Unix
// /proc, as the folder no one may create files in.
#include <stdlib.h>

#include <string>

void SetUserBase(const std::string& base) { _putenv_s("APPDATA", base.c_str()); }

std::string StoryFolderUnder(const std::string& base) { return base + "\\Talewick\\"; }

std::string ShippedWordListFor(const std::string& programFolder) {
  return programFolder + "dictionary.txt";
}

std::string UnwritableFolder() { return "Z:\\proc\\"; }
