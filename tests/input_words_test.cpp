// DownloadString and DisectInput: splitting at spaces, the word list lookup (its
// line rules, the missing list, edits between lookups) and the 99-word table.
#include <filesystem>
#include <string>

#include "query/input_words.h"
#include "support/fresh_story.h"

namespace {

constexpr const char* kListError = "error reading file: dictonary.txt";

class InputWordsTest : public FreshStoryTest {
 protected:
  static void Run(const std::string& input) {
    TextCopy(Story.InputText, input);
    DownloadString();
    DisectInput();
  }

  static Lines Accepted() {
    Lines words;
    for (int slot = 1; slot < Story.WordCount; ++slot) words.emplace_back(Story.InputWords[slot]);
    return words;
  }
};

TEST_F(InputWordsTest, SplitsAtSpacesAndKeepsListedWordsInOrder) {
  WriteProgramFile("dictionary.txt", "the\ncat\rdog\r\nhello,\r\nworld\r\na\tb\r\n");
  Run("The  Cat");
  EXPECT_EQ(Accepted(), (Lines{"the", "cat"}));
  EXPECT_EQ(Story.WordCount, 3);
  EXPECT_EQ(std::string(Story.InputText), "cat");
  EXPECT_EQ(std::string(Story.LoweredInput), "the  cat");
  EXPECT_EQ(std::string(Story.InputCopy), "the  cat");
  EXPECT_EQ(Story.InputLength, 8);
  // The word between the two spaces is empty and not listed.
  EXPECT_EQ(GetControlText(kStatusBar), "bad word");
  EXPECT_EQ(DebugMessages(), (Lines{"DownloadString", "DisectInput"}));

  // Commas stay in words; a tab does not separate; every line ending counts.
  Run("Hello, world a\tb DOG");
  EXPECT_EQ(Accepted(), (Lines{"hello,", "world", "a\tb", "dog"}));
  EXPECT_EQ(std::string(Story.LoweredInput), "hello, world a\tb dog");
}

TEST_F(InputWordsTest, ListLinesAreComparedWholeAndEmptyWordsLookedUp) {
  const struct {
    std::string list, input;
    Lines accepted;
  } cases[] = {
      // Case and blanks of a line count; a line listed twice is stored once.
      {"Cat\r\ntrailing \r\n dog\r\nbird\r\nbird\r\n", "cat trailing dog bird", {"bird"}},
      // The empty word at the end or between spaces needs an empty line.
      {"cat\r\n", "cat ", {"cat"}},
      {"cat\r\n\r\n", "  ", {"", "", ""}},
      {"cat\r\n\r\n", " cat", {"", "cat"}},
      {"", "cat  ", {"", ""}},                         // an empty file is one empty line
      {std::string("cat\0x\r\n", 7), "cat", {"cat"}},  // a NUL ends the line
      // A cut line must not equal a word, and the line after it is intact.
      {std::string(kTextCapacity + 4, 'q') + "\r\nshort\r\n", std::string(kTextCapacity, 'q'), {}},
      {std::string(kTextCapacity + 4, 'q') + "\r\nshort\r\n", "short", {"short"}},
      {std::string(kTextCapacity, 'q') + "\r\n",
       std::string(kTextCapacity, 'q'),
       {std::string(kTextCapacity, 'q')}},
  };
  for (const auto& c : cases) {
    WriteProgramFile("dictionary.txt", c.list);
    Run(c.input);
    EXPECT_EQ(Accepted(), c.accepted) << c.list;
  }

  // Only slots 1 to 30 are emptied for a new input; nothing rejected, no status.
  TextCopy(Story.InputWords[30], "stale");
  TextCopy(Story.InputWords[31], "stale");
  WriteProgramFile("dictionary.txt", "cat\r\n");
  SetControlText(kStatusBar, "Status...");
  Run("cat");
  EXPECT_EQ(GetControlText(kStatusBar), "Status...");
  EXPECT_TRUE(Story.InputWords[30].empty());
  EXPECT_EQ(std::string(Story.InputWords[31]), "stale");
}

TEST_F(InputWordsTest, MissingListIsReportedForEveryWord) {
  Run("a b ");
  ASSERT_EQ(Scripted().messageBoxes.size(), 3u);  // a, b and the empty word
  for (const ScriptedMessageBox& box : Scripted().messageBoxes) {
    EXPECT_EQ(box.text, kListError);
    EXPECT_EQ(box.caption, "sub DisectInput");
    EXPECT_EQ(box.style, 0);
  }
  EXPECT_EQ(DebugMessages(),
            (Lines{"DownloadString", "DisectInput", kListError, kListError, kListError}));
  EXPECT_EQ(Story.WordCount, 1);
  EXPECT_EQ(GetControlText(kStatusBar), "bad word");
}

TEST_F(InputWordsTest, EditOfTheListTakesEffectOnTheNextLookup) {
  WriteProgramFile("dictionary.txt", "cat\r\n");
  const std::filesystem::path path = ProgramFolder() + "dictionary.txt";
  const auto written = std::filesystem::last_write_time(path);
  Run("cat");
  ASSERT_EQ(Accepted(), Lines{"cat"});

  // Rewritten in place with the same size, and its modified time put back, as a
  // copy tool that keeps times (or a file system with coarse times) leaves it.
  WriteProgramFile("dictionary.txt", "dog\r\n");
  std::filesystem::last_write_time(path, written);
  Run("cat dog");
  EXPECT_EQ(Accepted(), Lines{"dog"});
}

TEST_F(InputWordsTest, WordsBeyondTheTableAreLookedUpButNotStored) {
  WriteProgramFile("dictionary.txt", "a\r\n");
  std::string input = "a";
  for (int i = 1; i < 120; ++i) input += " a";
  input += " zz";
  TextCopy(Story.InputWords[99], "old");
  Run(input);
  EXPECT_EQ(Accepted(), Lines(kWordTableSlots - 1, "a"));
  EXPECT_TRUE(Story.InputWords[0].empty());
  EXPECT_EQ(GetControlText(kStatusBar), "bad word");  // zz, after the table was full
  EXPECT_TRUE(Story.WordBuilder.empty());
}

}  // namespace
