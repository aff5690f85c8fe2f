// The input split into words and looked up (ListedWords), the word list's line
// rules (LookUpWord), and DisectInput through Story: the reports of a missing
// list and the 99-word table.
#include <memory>
#include <set>
#include <string>

#include "query/input_words.h"
#include "support/fresh_story.h"

using namespace talewick;

namespace {

constexpr const char* kListError = "error reading file: dictonary.txt";

TEST(ListedWords, SplitsAtSpacesOnlyAndLooksUpEveryPieceInOrder) {
  const std::set<std::string> list{"the", "cat", "hello,", "a\tb", ""};
  const struct {
    std::string input;
    Lines lookedUp, listed;
  } cases[] = {
      // Lower-cased and trimmed; the piece between two spaces is empty.
      {"The  Cat", {"the", "", "cat"}, {"the", "", "cat"}},
      {"Hello, world", {"hello,", "world"}, {"hello,"}},  // commas stay in words
      {"a\tb ", {"a\tb", ""}, {"a\tb", ""}},              // a tab does not separate
      {" \tdog", {"", "dog"}, {""}},
      {"", {""}, {""}},
  };
  for (const auto& c : cases) {
    Lines lookedUp;
    const Lines listed = ListedWords(c.input, [&](std::string_view word) {
      lookedUp.emplace_back(word);
      return list.count(std::string(word)) != 0;
    });
    EXPECT_EQ(lookedUp, c.lookedUp) << c.input;
    EXPECT_EQ(listed, c.listed) << c.input;
  }
}

TEST(LookUpWord, LinesAreComparedWholeAndReadAnewForEveryWord) {
  const auto file = std::make_unique<TextFile>();  // 64 KiB: not on the stack
  const std::string path = ProgramFolder() + "words.txt";
  const std::string longLine(kTextCapacity + 4, 'q');
  const struct {
    std::string list, word;
    bool listed;
  } cases[] = {
      {"Cat\r\ntrailing \r\n dog\r\n", "cat", false},  // case and blanks count
      {"Cat\r\ntrailing \r\n dog\r\n", "trailing", false},
      {"Cat\r\ntrailing \r\n dog\r\n", "dog", false},
      {"cat\rdog\nbird\r\n", "dog", true},  // every line ending counts
      {"cat\r\n", "", false},
      {"cat\r\n\r\n", "", true},
      {"", "", true},                               // an empty file is one empty line
      {std::string("cat\0x\r\n", 7), "cat", true},  // a NUL ends the line
      // A cut line must not equal a word, and the line after it is intact.
      {longLine + "\r\nshort\r\n", longLine.substr(0, kTextCapacity), false},
      {longLine + "\r\nshort\r\n", "short", true},
      // An edit takes effect on the next lookup, even with the same size.
      {"dog\r\n", "cat", false},
  };
  for (const auto& c : cases) {
    WriteProgramFile("words.txt", c.list);
    EXPECT_EQ(LookUpWord(*file, path, c.word),
              c.listed ? WordListAnswer::kListed : WordListAnswer::kNotListed)
        << c.list;
    EXPECT_FALSE(file->open);
  }
  RemoveProgramFile("words.txt");
  EXPECT_EQ(LookUpWord(*file, path, "cat"), WordListAnswer::kNoList);
}

using DisectInputTest = FreshStoryTest;

TEST_F(DisectInputTest, MissingListIsReportedForEveryWord) {
  TextCopy(Story.InputText, "a b ");
  DisectInput();
  ASSERT_EQ(Scripted().messageBoxes.size(), 3u);  // a, b and the empty word
  for (const ScriptedMessageBox& box : Scripted().messageBoxes) {
    EXPECT_EQ(box.text, kListError);
    EXPECT_EQ(box.caption, "sub DisectInput");
    EXPECT_EQ(box.style, 0);
  }
  EXPECT_EQ(DebugMessages(), (Lines{"DisectInput", kListError, kListError, kListError}));
  EXPECT_EQ(Story.WordCount, 1);
  EXPECT_EQ(GetControlText(kStatusBar), "bad word");
}

TEST_F(DisectInputTest, FillsTheTableUpToSlot99AndEmptiesSlots1To30) {
  WriteProgramFile("dictionary.txt", "a\r\nthe\r\n");
  TextCopy(Story.InputWords[30], "stale");
  TextCopy(Story.InputWords[31], "stale");
  TextCopy(Story.InputText, "the");
  DisectInput();
  EXPECT_EQ(AcceptedWords(), Lines{"the"});
  EXPECT_TRUE(Story.InputWords[30].empty());
  EXPECT_EQ(std::string(Story.InputWords[31]), "stale");
  EXPECT_EQ(GetControlText(kStatusBar), "Status...");  // nothing rejected

  std::string input = "a";
  for (int i = 1; i < 120; ++i) input += " a";
  TextCopy(Story.InputText, input + " zz");
  DisectInput();
  EXPECT_EQ(AcceptedWords(), Lines(kWordTableSlots - 1, "a"));
  EXPECT_TRUE(Story.InputWords[0].empty());
  EXPECT_EQ(GetControlText(kStatusBar), "bad word");  // zz, after the table was full
  EXPECT_EQ(std::string(Story.InputText), "zz");      // the last word looked up
}

}  // namespace
