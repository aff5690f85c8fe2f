// The story-folder rule, the same on every platform; the platform files say where
// the user's folder is and how a folder is made and tried.
#include "text/story_folder.h"

#include "text/bounded_text.h"
#include "text/os_file.h"

namespace talewick {

namespace {

constexpr std::string_view kWordListName = "dictionary.txt";

bool Fits(const std::string& folder) {
  return folder.size() + kLongestDataFileName.size() <= static_cast<size_t>(kTextCapacity);
}

// Why `folder` cannot hold the data files, or nothing when it can.
std::string Unusable(const std::string& folder) {
  if (!Fits(folder)) {
    return "its path is too long (" + std::to_string(folder.size()) + " characters; at most " +
           std::to_string(kTextCapacity - kLongestDataFileName.size()) + ")";
  }
  if (!CanCreateFilesIn(folder)) return "no file can be created in it";
  return {};
}

// Makes every missing folder on the way to `folder`. Prefixes that cannot be
// made (a drive, a share) may exist already; only the last one must.
bool MakeFolders(const std::string& folder) {
  const char separator = OsPathSeparator();
  for (size_t at = folder.find(separator, 1); at != std::string::npos;
       at = folder.find(separator, at + 1)) {
    if (at + 1 == folder.size()) break;
    MakeFolder(folder.substr(0, at + 1));
  }
  return MakeFolder(folder);
}

}  // namespace

std::string ProgramFolder() {
  std::string path = OsExecutablePath();
  const size_t separator = path.rfind(OsPathSeparator());
  if (separator == std::string::npos) return {};
  path.resize(separator + 1);
  return path;
}

StoryFolderChoice ChooseStoryFolder(const std::string& programFolder) {
  std::string programProblem;
  if (programFolder.empty()) {
    programProblem = "the system cannot tell where it is";
  } else if (FileExists(programFolder + std::string(kInstalledMarkerName))) {
    programProblem = "it is where Talewick was installed, for every user";
  } else {
    programProblem = Unusable(programFolder);
  }
  if (programProblem.empty()) return {programFolder, {}};

  const std::string user = UserStoryFolderPath();
  std::string userProblem;
  if (user.empty()) {
    userProblem = "no full path is set in " + std::string(UserFolderVariables());
  } else if (!Fits(user)) {
    userProblem = Unusable(user);  // too long: not even made
  } else if (!MakeFolders(user)) {
    userProblem = "it cannot be made";
  } else {
    userProblem = Unusable(user);
  }
  if (userProblem.empty()) {
    // Seeded once: later edits, and a list the user emptied, are the user's.
    const std::string wordList = user + std::string(kWordListName);
    if (!programFolder.empty() && !FileExists(wordList)) {
      CopyIntoPlace(ShippedWordListPath(programFolder), wordList);
    }
    return {user, {}};
  }
  const std::string programName = programFolder.empty() ? "" : programFolder + " ";
  const std::string userName = user.empty() ? "" : user + " ";
  return {{},
          "Talewick has no folder to keep its story in.\n\nIts own folder " + programName +
              "cannot be used: " + programProblem + ".\nYour folder " + userName +
              "cannot be used: " + userProblem +
              ".\n\nPut Talewick in a folder you can write to whose path is at most " +
              std::to_string(kTextCapacity - kLongestDataFileName.size()) + " characters long."};
}

const StoryFolderChoice& StoryFolder() {
  static const StoryFolderChoice choice = ChooseStoryFolder(ProgramFolder());
  return choice;
}

std::string StartFolder() { return StoryFolder().folder; }

}  // namespace talewick
