// DownloadString and DisectInput: splitting at spaces, the word list lookup (its
// line rules, the missing list, edits between lookups) and the 99-word table.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "app/scripted_window.h"
#include "app/startup.h"
#include "app/story_state.h"
#include "app/window_layer.h"
#include "query/input_words.h"
#include "query/word_list_cache.h"
#include "support/debug_capture.h"
#include "support/program_files.h"

namespace {

constexpr const char* kListError = "error reading file: dictonary.txt";

class InputWordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearStoryState();
    ResetScriptedWindow();
    StartUp();
    RemoveProgramFile("dictionary.txt");
    ForgetWordListCopy();
    StartDebugCapture();
  }

  static void Run(const std::string& input) {
    TextCopy(Story.InputText, input);
    DownloadString();
    DisectInput();
  }

  static std::vector<std::string> Accepted() {
    std::vector<std::string> words;
    for (int slot = 1; slot < Story.WordCount; ++slot) words.emplace_back(Story.InputWords[slot]);
    return words;
  }
};

using Words = std::vector<std::string>;

TEST_F(InputWordsTest, SplitsAtSpacesAndKeepsListedWordsInOrder) {
  WriteProgramFile("dictionary.txt", "the\ncat\rdog\r\nhello,\r\nworld\r\na\tb\r\n");
  Run("The  Cat");
  EXPECT_EQ(Accepted(), (Words{"the", "cat"}));
  EXPECT_EQ(Story.WordCount, 3);
  EXPECT_EQ(std::string(Story.InputText), "cat");
  EXPECT_EQ(std::string(Story.LoweredInput), "the  cat");
  EXPECT_EQ(std::string(Story.InputCopy), "the  cat");
  EXPECT_EQ(Story.InputLength, 8);
  // The word between the two spaces is empty and not listed.
  EXPECT_EQ(GetControlText(kStatusBar), "bad word");
  EXPECT_EQ(DebugMessages(), (Words{"DownloadString", "DisectInput"}));
  EXPECT_TRUE(Story.InputWords[0].empty());

  // Commas stay in words; a tab does not separate; every line ending counts.
  Run("Hello, world a\tb DOG");
  EXPECT_EQ(Accepted(), (Words{"hello,", "world", "a\tb", "dog"}));
  EXPECT_EQ(std::string(Story.LoweredInput), "hello, world a\tb dog");
}

TEST_F(InputWordsTest, EmptyWordsAreLookedUpAtEdgesAndBetweenSpaces) {
  WriteProgramFile("dictionary.txt", "cat\r\n");
  // Only slots 1 to 30 are emptied for a new input.
  TextCopy(Story.InputWords[30], "stale");
  TextCopy(Story.InputWords[31], "stale");
  SetControlText(kStatusBar, "Status...");
  Run("cat");
  EXPECT_EQ(GetControlText(kStatusBar), "Status...");  // nothing rejected
  EXPECT_TRUE(Story.InputWords[30].empty());
  EXPECT_EQ(std::string(Story.InputWords[31]), "stale");
  Run("cat ");
  EXPECT_EQ(Accepted(), Words{"cat"});
  EXPECT_EQ(GetControlText(kStatusBar), "bad word");  // the empty word at the end
  EXPECT_EQ(std::string(Story.InputText), "");

  // A list with an empty line accepts each empty word: one per space and the end.
  WriteProgramFile("dictionary.txt", "cat\r\n\r\n");
  Run("  ");
  EXPECT_EQ(Accepted(), (Words{"", "", ""}));
  Run(" cat");
  EXPECT_EQ(Accepted(), (Words{"", "cat"}));
}

TEST_F(InputWordsTest, ListLinesAreComparedWholeAsRead) {
  WriteProgramFile("dictionary.txt", "Cat\r\ntrailing \r\n dog\r\nbird\r\nbird\r\n");
  Run("cat trailing dog bird");
  EXPECT_EQ(Accepted(), Words{"bird"});  // listed twice, stored once
  EXPECT_EQ(GetControlText(kStatusBar), "bad word");

  // An empty file is one empty line: it accepts the empty word and nothing else.
  WriteProgramFile("dictionary.txt", "");
  Run("cat  ");
  EXPECT_EQ(Accepted(), (Words{"", ""}));
}

TEST_F(InputWordsTest, OverlongListLinesNeverMatch) {
  const std::string word(kTextCapacity, 'q');
  WriteProgramFile("dictionary.txt", word + "qqqq\r\nshort\r\n");
  Run(word);
  EXPECT_EQ(Story.WordCount, 1) << "a cut line must not equal a word";
  Run("short");
  EXPECT_EQ(Accepted(), Words{"short"});  // the line after the long one is intact

  WriteProgramFile("dictionary.txt", word + "\r\n");
  Run(word);
  EXPECT_EQ(Accepted(), Words{word});  // a line of exactly the capacity fits
}

TEST_F(InputWordsTest, MissingListIsReportedForEveryWordWithItsOwnBox) {
  Run("a b ");
  ASSERT_EQ(Scripted().messageBoxes.size(), 3u);  // a, b and the empty word
  for (const ScriptedMessageBox& box : Scripted().messageBoxes) {
    EXPECT_EQ(box.text, kListError);
    EXPECT_EQ(box.caption, "sub DisectInput");
    EXPECT_EQ(box.style, 0);
  }
  EXPECT_EQ(DebugMessages(),
            (Words{"DownloadString", "DisectInput", kListError, kListError, kListError}));
  EXPECT_EQ(Story.WordCount, 1);
  EXPECT_EQ(GetControlText(kStatusBar), "bad word");
}

TEST_F(InputWordsTest, ListIsOpenedForEveryWord) {
  // The list appears while the box for the first word is open: the next word is
  // looked up in it.
  Scripted().onPump = [] { WriteProgramFile("dictionary.txt", "two\r\n"); };
  Run("one two");
  EXPECT_EQ(Scripted().messageBoxes.size(), 1u);
  EXPECT_EQ(Accepted(), Words{"two"});
  Scripted().onPump = nullptr;

  // And it is noticed when it goes away again.
  RemoveProgramFile("dictionary.txt");
  Run("two");
  EXPECT_EQ(Scripted().messageBoxes.size(), 2u);
  EXPECT_EQ(Story.WordCount, 1);
}

TEST_F(InputWordsTest, EditOfTheListTakesEffectOnTheNextLookup) {
  WriteProgramFile("dictionary.txt", "cat\r\n");
  Run("cat");
  ASSERT_EQ(Accepted(), Words{"cat"});

  // Same size, same file: only the modified time tells the contents apart.
  const std::filesystem::path path = ProgramFolder() + "dictionary.txt";
  const auto before = std::filesystem::last_write_time(path);
  WriteProgramFile("dictionary.txt", "dog\r\n");
  std::filesystem::last_write_time(path, before + std::chrono::seconds(2));
  Run("cat dog");
  EXPECT_EQ(Accepted(), Words{"dog"});

  WriteProgramFile("dictionary.txt", "dog\r\ncat\r\n");
  Run("cat dog");
  EXPECT_EQ(Accepted(), (Words{"cat", "dog"}));
}

TEST_F(InputWordsTest, WordsBeyondTheTableAreLookedUpButNotStored) {
  WriteProgramFile("dictionary.txt", "a\r\n");
  std::string input = "a";
  for (int i = 1; i < 120; ++i) input += " a";
  input += " zz";
  ASSERT_LE(static_cast<int>(input.size()), kTextCapacity);
  TextCopy(Story.InputWords[99], "old");
  Run(input);
  EXPECT_TRUE(Story.InputWords[0].empty());
  EXPECT_EQ(Story.WordCount, kWordTableSlots);
  for (int slot = 1; slot < kWordTableSlots; ++slot)
    ASSERT_EQ(std::string(Story.InputWords[slot]), "a");
  EXPECT_EQ(GetControlText(kStatusBar), "bad word");  // zz, after the table was full
  EXPECT_TRUE(Story.WordBuilder.empty());
}

}  // namespace
