// SecondPartDLF and its plain functions: the snippet walk, the candidate filter
// and table, the scan of lines and pages, the choice with history, the next
// input, the story list lines, the story file and the history ring.
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>

#include "analysis/candidate_table.h"
#include "analysis/result_analysis.h"
#include "support/fresh_story.h"

using namespace talewick;

namespace {

const std::string kPattern = "<b>the cat</b>";
constexpr const char* kAlreadyUsed = "output already used in the past 99 inputs";
constexpr const char* kOffered = "message...SecondPartDLF";

TEST(WalkSnippet, CollectsLettersAndSpacesAndCarriesTheTagState) {
  const struct {
    std::string line, walked;
    bool inTagAfter;
  } cases[] = {
      {"<b>the cat</b> sat on the mat. it was", "sat on the mat", false},
      {"<b>the cat</b>, and then", " and then", false},  // the comma is never examined
      {"<b>the cat</b> in 12, we.", "in  we", false},
      {"<b>the cat</b> sat\xc3\xa9 here", "sat here", false},  // bytes above 127 skipped
      {"<b>the cat</b>abcdefghij", "bcdefghij", false},        // ends with the line
      // At k = 0 a "." does not stop the walk, nor does a "<" open a tag.
      {"<b>the cat</b>x.abc. more", "abc", false},
      {"<b>the cat</b> <i>sat</i> down.", "isat down", false},
      // The full stop in the address ends the walk inside the tag; the next walk
      // starts there.
      {"<b>the cat</b> xy <a href=\"a.b\">link</a>", "xy ", true},
      {"<b>the cat</b> abc> def.", " def", false},
      // Steps 0 to 198 are collected (not the "z" of step 199); step 200 still
      // opens a tag, and the walk ends before the ">" of step 201.
      {kPattern + "x" + std::string(199, 'a') + "z<>", std::string(199, 'a'), true},
  };
  bool inTag = false;
  for (const auto& c : cases) {
    EXPECT_EQ(WalkSnippet(c.line, 1, TextLength(kPattern), inTag), c.walked) << c.line;
    EXPECT_EQ(inTag, c.inTagAfter) << c.line;
  }
}

class ResultAnalysisTest : public FreshStoryTest {
 protected:
  void SetUp() override {
    FreshStoryTest::SetUp();
    ClearCandidates(table);
  }
  std::string Entry(int entry) const { return std::string(table.text[entry]); }

  CandidateTable table;
  bool inTag = false;
};

TEST_F(ResultAnalysisTest, CandidatesAreFilteredLoggedAndCountedInAHundredEntries) {
  for (const char* offer : {"", " ", "onenbsptwo", "anbspbnbspc", "abnbsp", "   ", "onenbsptwo"})
    OfferCandidate(table, offer);
  EXPECT_EQ(table.nextFree, 4);
  EXPECT_EQ((Lines{Entry(1), Entry(2), Entry(3)}), (Lines{"onetwo", "abnbspc", "   "}));
  EXPECT_EQ(table.count[1], 2);
  // "" and " " are dropped silently; "abnbsp" is logged, then too short.
  EXPECT_EQ(DebugMessages(), (Lines{kOffered, "onenbsptwo", kOffered, "anbspbnbspc", kOffered,
                                    "abnbsp", kOffered, "   ", kOffered, "onenbsptwo"}));

  ClearCandidates(table);
  for (int i = 0; i <= 100; ++i) CountCandidate(table, "text " + std::to_string(i));
  CountCandidate(table, "text 0");
  EXPECT_EQ(table.nextFree, 101);
  EXPECT_EQ(Entry(100), "text 99");  // "text 100" found no room
  EXPECT_EQ(table.count[1], 2);      // stored texts still count
}

TEST_F(ResultAnalysisTest, ALineGivesAtMost101OccurrencesFromLeftToRight) {
  std::string line;
  for (int i = 0; i < 150; ++i) {
    line +=
        kPattern + " x" + static_cast<char>('a' + i / 26) + static_cast<char>('a' + i % 26) + ".";
  }
  TextCopy(Story.LineText, line);
  ScanLineText(Story.LineText, kPattern, inTag, table);
  EXPECT_EQ(DebugMessageCount(kOffered), 101);
  EXPECT_EQ(table.nextFree, 101);  // the table takes the first 100
  EXPECT_EQ(Entry(1), "xaa");
  EXPECT_EQ(Entry(100), "xdv");
  // Walked occurrences are masked in place; the first one left is the 102nd.
  const std::string masked(Story.LineText);
  EXPECT_EQ(masked.size(), line.size());
  EXPECT_EQ(masked.find(kPattern), line.find(kPattern + " xdx"));
}

TEST_F(ResultAnalysisTest, ScansEveryLineLowerCased) {
  WriteProgramFile("page.htm",
                   "<p><B>The Cat</B> sat on the mat. <b>the cat</b> sat on the mat.\r\n"
                   "\r\n<b>the cat</b> was here.\n<b>the cat</b>, x");
  ASSERT_EQ(FileOpen(Story.PageFile, ProgramFolder() + "page.htm", "r"), 0);
  ScanPage(Story.PageFile, kPattern, Story.LineBuffer, Story.LineText, table);
  FileClose(Story.PageFile);
  EXPECT_EQ(table.nextFree, 3);
  EXPECT_EQ(Entry(1), "sat on the mat");
  EXPECT_EQ(table.count[1], 2);
  EXPECT_EQ(Entry(2), "was here");
  EXPECT_EQ(std::string(Story.LineBuffer), "<b>the cat</b>, x");
  EXPECT_EQ(std::string(Story.LineText), "**************, x");
  RemoveProgramFile("page.htm");
}

TEST(ChooseContinuation, TheMostFrequentUnusedOrEntryOne) {
  static CandidateTable table;
  static WordTable history;
  const auto choose = [&](std::initializer_list<std::pair<const char*, int>> counted) {
    ClearCandidates(table);
    for (const auto& [text, count] : counted) {
      for (int i = 0; i < count; ++i) CountCandidate(table, text);
    }
    return ChooseContinuation(table, history);
  };
  TextCopy(history[57], "used");
  TextCopy(history[1], "one");
  TextCopy(history[99], "three");
  const struct {
    std::initializer_list<std::pair<const char*, int>> counted;
    const char* chosen;
    int bestCount, usedSkipped;
  } cases[] = {
      {{{"sat on", 2}, {"was", 2}}, "sat on", 2, 0},  // the first found wins a tie
      {{{"used", 3}, {"fresh", 2}}, "fresh", 2, 1},
      {{{"one", 1}, {"three", 3}}, "one", 0, 2},  // everything used: entry 1, count 0
      {{}, "", 0, 0},
  };
  for (const auto& c : cases) {
    const WordChoice choice = choose(c.counted);
    EXPECT_EQ(choice.text, c.chosen);
    EXPECT_EQ(choice.bestCount, c.bestCount) << c.chosen;
    EXPECT_EQ(choice.usedSkipped, c.usedSkipped) << c.chosen;
  }
}

TEST(NextInputFor, TheTrimmedChoiceOrAFallback) {
  EXPECT_EQ(NextInputFor(" \tsat on ", "cat", "typed"), "sat on ");
  EXPECT_EQ(NextInputFor("   ", "cat", "typed"), "cat");
  EXPECT_EQ(NextInputFor("", "", "typed"), "typed");
  EXPECT_EQ(NextInputFor("", "", ""), "and");
}

TEST(StoryListLines, LongChoicesTakeTwoLinesThatJoinToTheChoice) {
  const std::string hundred(100, 'h');
  EXPECT_EQ(StoryListLines(hundred), Lines{hundred});
  // A space before index 80 does not count; the first one from 80 on does.
  std::string spaced(150, 's');
  spaced[79] = spaced[80] = spaced[120] = ' ';
  EXPECT_EQ(StoryListLines(spaced), (Lines{spaced.substr(0, 80), spaced.substr(80)}));
  const std::string solid(150, 'x');
  EXPECT_EQ(StoryListLines(solid), (Lines{solid.substr(0, 100), solid.substr(100)}));
}

TEST(HistoryRing, KeepsTheLast99Choices) {
  EXPECT_EQ(NextHistorySlot(0), 1);
  EXPECT_EQ(NextHistorySlot(98), 99);
  EXPECT_EQ(NextHistorySlot(99), 1);  // slot 0 is never used
  static WordTable history;
  TextCopy(history[99], "choice");
  EXPECT_TRUE(UsedRecently(history, "choice"));
  EXPECT_FALSE(UsedRecently(history, "choic"));
}

TEST_F(ResultAnalysisTest, SecondPartDlfRecordsTheChoiceEverywhereOrNothing) {
  TextCopy(Story.InputWords[1], "cat");
  TextCopy(Story.SearchWords, "x");
  SecondPartDLF();  // no page: nothing found, nothing recorded
  EXPECT_EQ(DebugMessages(),
            (Lines{"SecondPartDLF", "message...SecondPartDLF...SearchWords: <b>x</b>",
                   "error...SecondPartDLF: Unable to open file to search ",
                   "message...SecondPartDLF...output that occurs the most number: 0", ""}));
  EXPECT_EQ(std::string(Story.NextInput), "cat");
  EXPECT_TRUE(StoryLines().empty());
  EXPECT_FALSE(ProgramFileExists("OutPutTextFile.txt"));
  EXPECT_EQ(Story.HistoryIndex, 0);

  WriteProgramFile("OutPutTextFile.txt", "earlier\r\n");
  WriteProgramFile("googleblog.htm",
                   "<b>the cat</b>  sat on. <b>The Cat</b>  sat on. <b>the cat</b> was.\r\n");
  TextCopy(Story.SearchWords, "the cat");
  StartDebugCapture();
  SecondPartDLF();
  EXPECT_EQ(std::string(Story.SearchWords), kPattern);
  EXPECT_EQ(std::string(Story.NextInput), "sat on");
  EXPECT_EQ(StoryLines(), Lines{" sat on"});
  EXPECT_EQ(ReadProgramFile("OutPutTextFile.txt"), "earlier\r\n sat on\r\n");
  EXPECT_EQ(std::string(Story.OutputHistory[1]), " sat on");
  EXPECT_EQ(DebugMessages().back(), " sat on");

  // The same page again: " sat on" is used, "was" is the choice; a folder in the
  // story file's place cannot be opened, and the choice is still remembered.
  RemoveProgramFile("OutPutTextFile.txt");
  std::filesystem::create_directory(ProgramFolder() + "OutPutTextFile.txt");
  TextCopy(Story.SearchWords, "the cat");
  StartDebugCapture();
  SecondPartDLF();
  std::filesystem::remove(ProgramFolder() + "OutPutTextFile.txt");
  EXPECT_EQ(DebugMessageCount(kAlreadyUsed), 1);
  EXPECT_EQ(std::string(Story.NextInput), "was");
  EXPECT_EQ(StoryLines().back(), "was");
  EXPECT_EQ(std::string(Story.OutputHistory[2]), "was");
  EXPECT_EQ(DebugMessages().back(), "error writing to file: OutPutTextFile.txt");
  EXPECT_EQ(GetControlText(kStatusBar), "error writing to file: OutPutTextFile.txt");

  // A pattern that outgrows SearchWords is still searched and walked whole.
  const std::string words(250, 'w');
  TextCopy(Story.SearchWords, words);
  WriteProgramFile("googleblog.htm", "<b>" + words + "</b> went home.\r\n");
  SecondPartDLF();
  EXPECT_EQ(std::string(Story.NextInput), "went home");
  EXPECT_EQ(Story.SearchWords.length(), kTextCapacity);
}

}  // namespace
