// The story-folder rule, one table of cases run on each platform: a program
// folder that can, cannot or may not be used, against a user's folder that is
// set, missing, relative or too long. Whatever the outcome, only full paths are
// used: the current folder stays empty.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/program_files.h"
#include "text/story_folder.h"

// The platform's part: story_folder_test_posix.cpp and story_folder_test_win32.cpp.
// Points the user's folder at `base`, a full path, or at no folder when `base` is
// empty or relative.
void SetUserBase(const std::string& base);
// The story folder that the program must choose with the user's folder at `base`.
std::string StoryFolderUnder(const std::string& base);
// Where the word list ships for a program in `programFolder`.
std::string ShippedWordListFor(const std::string& programFolder);
// An existing folder in which no file can be created, by root neither.
std::string UnwritableFolder();

namespace {

namespace fs = std::filesystem;

enum class Program { kWritable, kUnwritable, kTooLong, kUnknown };
enum class User { kSet, kNone, kRelative, kTooLong };
enum class Chosen { kProgram, kUser, kNone };

struct Case {
  const char* name;
  Program program;
  User user;
  const char* userWordList;  // the user's word list beforehand; nullptr: none
  Chosen chosen;
  const char* wordList;  // the user's word list afterwards; nullptr: none
};

const Case kCases[] = {
    {"a writable folder is used", Program::kWritable, User::kSet, nullptr, Chosen::kProgram,
     nullptr},
    {"no user folder is needed then", Program::kWritable, User::kNone, nullptr, Chosen::kProgram,
     nullptr},
    {"unwritable: the user's folder", Program::kUnwritable, User::kSet, nullptr, Chosen::kUser,
     nullptr},
    {"too long: the user's folder, seeded", Program::kTooLong, User::kSet, nullptr, Chosen::kUser,
     "shipped\n"},
    {"seeded once: the user's edits stay", Program::kTooLong, User::kSet, "edited\n", Chosen::kUser,
     "edited\n"},
    {"unknown program folder: the user's", Program::kUnknown, User::kSet, nullptr, Chosen::kUser,
     nullptr},
    {"unwritable, no user folder", Program::kUnwritable, User::kNone, nullptr, Chosen::kNone,
     nullptr},
    {"unwritable, a relative user folder", Program::kUnwritable, User::kRelative, nullptr,
     Chosen::kNone, nullptr},
    {"too long, and the user's too", Program::kTooLong, User::kTooLong, nullptr, Chosen::kNone,
     nullptr},
};

// A folder in `folder` whose path, with its separator, is `length` long.
std::string Deeper(const std::string& folder, size_t length) {
  return folder + std::string(length - folder.size() - 1, 'd') + folder.back();
}

// The number of files and folders under `folder`.
size_t CountUnder(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::recursive_directory_iterator(folder), {}));
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
    SCOPED_TRACE(c.name);
    fs::current_path(before);
    fs::remove_all(work);
    // A relative path would find a word list here, and leave things behind.
    const fs::path cwd = fs::path(work) / "cwd" / "here";
    fs::create_directories(cwd);
    WriteFile(cwd / ShippedWordListFor(""), "stray\n");
    const size_t strayFiles = CountUnder(cwd.parent_path());
    fs::current_path(cwd);

    std::string program;
    if (c.program == Program::kWritable) program = Deeper(work, 236);  // the longest that fits
    if (c.program == Program::kUnwritable) program = UnwritableFolder();
    if (c.program == Program::kTooLong) program = Deeper(work, 237);
    if (!program.empty()) fs::create_directories(program);
    if (c.program == Program::kTooLong) WriteFile(ShippedWordListFor(program), "shipped\n");

    std::string base = work + "home";
    if (c.user == User::kTooLong) base = Deeper(work, 230);
    SetUserBase(c.user == User::kNone ? "" : c.user == User::kRelative ? "home" : base);
    const std::string user = StoryFolderUnder(base);
    if (c.userWordList != nullptr) WriteFile(user + "dictionary.txt", c.userWordList);

    const StoryFolderChoice choice = ChooseStoryFolder(program);
    const std::string expected = c.chosen == Chosen::kProgram ? program
                                 : c.chosen == Chosen::kUser  ? user
                                                              : "";
    EXPECT_EQ(choice.folder, expected);
    EXPECT_EQ(choice.problem.empty(), c.chosen != Chosen::kNone) << choice.problem;
    if (c.chosen == Chosen::kNone) {
      EXPECT_NE(choice.problem.find(program), std::string::npos) << choice.problem;
    }
    EXPECT_EQ(fs::exists(user), c.chosen == Chosen::kUser) << "the user's folder, made or not";
    EXPECT_EQ(ReadFile(user + "dictionary.txt"), c.wordList != nullptr ? c.wordList : "(none)");
    if (c.program == Program::kWritable) {
      EXPECT_TRUE(fs::is_empty(program)) << "a file was left in the program's folder";
    }
    EXPECT_EQ(CountUnder(cwd.parent_path()), strayFiles) << "the current folder was used";
  }
  fs::current_path(before);
  fs::remove_all(work);
}

}  // namespace
