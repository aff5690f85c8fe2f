// The story-folder rule, one table of cases run on each platform: a program
// folder that can, cannot or may not be used (an installed copy's, writable or
// not), against a user's folder that is set, missing, relative or too long.
// Whatever the outcome, only full paths are used: nothing is read from or made
// in the current folder. (Where the user's folder lies is seen by the
// end-to-end tests of the packages.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/program_files.h"
#include "support/test_environment.h"
#include "text/story_folder.h"

using namespace talewick;

namespace {

namespace fs = std::filesystem;

enum Program { kWritable, kUnwritable, kDeep, kUnknown, kInstalled };
enum Home { kHome, kNoHome, kRelativeHome, kDeepHome };
enum Chosen { kProgramFolder, kUserFolder, kNoFolder };

// A deep folder leaves one character too few for the longest data file name; a
// writable one leaves just enough. The user's word list before and after.
struct Case {
  Program program;
  Home home;
  const char* before;
  Chosen chosen;
  const char* after;
};
const Case kCases[] = {
    {kWritable, kHome, nullptr, kProgramFolder, "(none)"},
    {kWritable, kNoHome, nullptr, kProgramFolder, "(none)"},
    {kUnwritable, kHome, nullptr, kUserFolder, "(none)"},
    {kDeep, kHome, nullptr, kUserFolder, "shipped\n"},
    {kDeep, kHome, "edited\n", kUserFolder, "edited\n"},
    {kInstalled, kHome, nullptr, kUserFolder, "shipped\n"},
    {kUnknown, kHome, nullptr, kUserFolder, "(none)"},
    {kUnwritable, kNoHome, nullptr, kNoFolder, "(none)"},
    {kUnwritable, kRelativeHome, nullptr, kNoFolder, "(none)"},
    {kDeep, kDeepHome, nullptr, kNoFolder, "(none)"},
};

// Points the user's folder at `base`: HOME on Linux (the XDG variable that
// comes first left empty), APPDATA on Windows.
void SetUserBase(const std::string& base) {
  SetTestEnvironment("XDG_DATA_HOME", "");
  for (const char* name : {"HOME", "APPDATA"}) SetTestEnvironment(name, base);
}

// A folder in `folder` whose path, with its separator, is `length` long.
std::string Deeper(const std::string& folder, size_t length) {
  return folder + std::string(length - folder.size() - 1, 'd') + folder.back();
}

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path().lexically_normal());
  std::ofstream(path.lexically_normal(), std::ios::binary) << text;
}

// The file's bytes, or "(none)" when there is no such file.
std::string ReadFile(const fs::path& path) {
  if (!fs::exists(path)) return "(none)";
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(StoryFolderTest, TheRuleForEachCase) {
  const std::string work = ProgramFolder() + "story_folder_work" + ProgramFolder().back();
  const fs::path before = fs::current_path();
  for (const Case& c : kCases) {
    SCOPED_TRACE("case " + std::to_string(&c - kCases));
    fs::current_path(before);
    fs::remove_all(work);
    // A relative path would find a word list here, and leave things behind.
    const fs::path cwd = fs::path(work) / "cwd" / "here";
    fs::create_directories(cwd);
    WriteFile(cwd / ShippedWordListPath(""), "stray\n");
    const auto stray = std::distance(fs::recursive_directory_iterator(cwd.parent_path()), {});
    fs::current_path(cwd);

    const std::string programs[] = {Deeper(work, 236), UnwritableFolder(), Deeper(work, 237), "",
                                    work + "installed" + work.back()};
    const std::string& program = programs[c.program];
    if (!program.empty()) fs::create_directories(program);
    if (c.program == kDeep || c.program == kInstalled) {
      WriteFile(ShippedWordListPath(program), "shipped\n");
    }
    // Writable, but where the installer put its marker.
    if (c.program == kInstalled) WriteFile(program + std::string(kInstalledMarkerName), "");
    SetUserBase(c.home == kDeepHome ? Deeper(work, 230) : work + "home");
    const std::string user = UserStoryFolderPath();
    if (c.home == kNoHome || c.home == kRelativeHome) SetUserBase(c.home == kNoHome ? "" : "home");
    if (c.before != nullptr) WriteFile(user + "dictionary.txt", c.before);

    const StoryFolderChoice choice = ChooseStoryFolder(program);
    const std::string folders[] = {program, user, ""};
    EXPECT_EQ(choice.folder, folders[c.chosen]);
    EXPECT_EQ(choice.problem.empty(), c.chosen != kNoFolder) << choice.problem;
    EXPECT_TRUE(c.chosen != kNoFolder || choice.problem.find(program) != std::string::npos);
    EXPECT_EQ(fs::exists(user), c.chosen == kUserFolder) << "the user's folder, made or not";
    EXPECT_EQ(ReadFile(user + "dictionary.txt"), c.after);
    EXPECT_TRUE(c.program != kWritable || fs::is_empty(program)) << "a probe was left";
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(cwd.parent_path()), {}), stray)
        << "something was made in the current folder";
  }
  fs::current_path(before);
  fs::remove_all(work);
}

}  // namespace
