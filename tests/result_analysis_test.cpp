// SecondPartDLF and its parts: the snippet walk, the candidate filter and table,
// the scan of whole lines and pages, the choice with history, the next input,
// the story list and file, and the history ring.
#include <filesystem>
#include <string>

#include "analysis/candidate_table.h"
#include "analysis/next_word_choice.h"
#include "analysis/result_analysis.h"
#include "analysis/snippet_scan.h"
#include "analysis/story_output.h"
#include "support/fresh_story.h"

namespace {

const std::string kPattern = "<b>the cat</b>";
constexpr const char* kAlreadyUsed = "output already used in the past 99 inputs";
constexpr const char* kOffered = "message...SecondPartDLF";

class ResultAnalysisTest : public FreshStoryTest {
 protected:
  void SetUp() override {
    FreshStoryTest::SetUp();
    ClearCandidates(table);
  }
  void Add(const std::string& text, int count) {
    for (int i = 0; i < count; ++i) CountCandidate(table, text);
  }
  std::string Entry(int entry) const { return std::string(table.text[entry]); }

  CandidateTable table;
  bool inTag = false;
};

TEST_F(ResultAnalysisTest, WalkCollectsLettersAndSpacesAndCarriesTheTagState) {
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
  for (const auto& c : cases) {
    EXPECT_EQ(WalkSnippet(c.line, 1, TextLength(kPattern), inTag), c.walked) << c.line;
    EXPECT_EQ(inTag, c.inTagAfter) << c.line;
  }
}

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
  ScanLineText(kPattern, inTag, table);
  EXPECT_EQ(DebugMessageCount(kOffered), 101);
  EXPECT_EQ(table.nextFree, 101);  // the table takes the first 100
  EXPECT_EQ(Entry(1), "xaa");
  EXPECT_EQ(Entry(100), "xdv");
  // Walked occurrences are masked in place; the first one left is the 102nd.
  const std::string masked(Story.LineText);
  EXPECT_EQ(masked.size(), line.size());
  EXPECT_EQ(masked.find(kPattern), line.find(kPattern + " xdx"));
}

TEST_F(ResultAnalysisTest, ScansThePageLowerCasedWithTheWholePattern) {
  TextCopy(Story.SearchWords, "The Cat");
  WriteProgramFile("googleblog.htm",
                   "<p><B>The Cat</B> sat on the mat. <b>the cat</b> sat on the mat.\r\n"
                   "\r\n<b>the cat</b> was here.\n<b>the cat</b>, x");
  ScanResultPage(table);
  EXPECT_EQ(std::string(Story.SearchWords), kPattern);
  EXPECT_EQ(table.nextFree, 3);
  EXPECT_EQ(Entry(1), "sat on the mat");
  EXPECT_EQ(table.count[1], 2);
  EXPECT_EQ(Entry(2), "was here");
  EXPECT_EQ(std::string(Story.LineBuffer), "<b>the cat</b>, x");
  EXPECT_EQ(std::string(Story.LineText), "**************, x");
  EXPECT_EQ(DebugMessages().front(), "message...SecondPartDLF...SearchWords: <b>the cat</b>");

  // A pattern that outgrows SearchWords is still searched and walked whole.
  const std::string words(250, 'w');
  TextCopy(Story.SearchWords, words);
  WriteProgramFile("googleblog.htm", "<b>" + words + "</b> went home.\r\n");
  ClearCandidates(table);
  ScanResultPage(table);
  EXPECT_EQ(Entry(1), "went home");
  EXPECT_EQ(Story.SearchWords.length(), kTextCapacity);
}

TEST_F(ResultAnalysisTest, MissingOrEmptyPageLeavesTheTableEmpty) {
  for (const bool exists : {false, true}) {
    if (exists) WriteProgramFile("googleblog.htm", "");
    TextCopy(Story.SearchWords, "x");
    StartDebugCapture();
    ScanResultPage(table);
    Lines expected{"message...SecondPartDLF...SearchWords: <b>x</b>"};
    if (!exists) expected.push_back("error...SecondPartDLF: Unable to open file to search ");
    EXPECT_EQ(DebugMessages(), expected);
    EXPECT_EQ(table.nextFree, 1);
  }
}

TEST_F(ResultAnalysisTest, ChoosesTheMostFrequentUnusedOrFallsBackToEntryOne) {
  Add("sat on", 2);
  Add("was", 2);
  EXPECT_EQ(ChooseContinuation(table).text, "sat on");  // the first found wins a tie
  EXPECT_EQ(DebugMessages(),
            (Lines{"message...SecondPartDLF...output that occurs the most number: 2", "sat on"}));

  ClearCandidates(table);
  Add("used", 3);
  Add("fresh", 2);
  TextCopy(Story.OutputHistory[57], "used");
  StartDebugCapture();
  WordChoice choice = ChooseContinuation(table);
  EXPECT_EQ(choice.text, "fresh");
  EXPECT_EQ(choice.bestCount, 2);
  EXPECT_EQ(DebugMessages().front(), kAlreadyUsed);
  EXPECT_EQ(GetControlText(kStatusBar), kAlreadyUsed);

  // Everything used: entry 1 with count 0.
  ClearCandidates(table);
  Add("one", 1);
  Add("three", 3);
  TextCopy(Story.OutputHistory[1], "one");
  TextCopy(Story.OutputHistory[99], "three");
  StartDebugCapture();
  choice = ChooseContinuation(table);
  EXPECT_EQ(choice.text, "one");
  EXPECT_EQ(choice.bestCount, 0);
  EXPECT_EQ(DebugMessages(),
            (Lines{kAlreadyUsed, kAlreadyUsed,
                   "message...SecondPartDLF...output that occurs the most number: 0", "one"}));
  ClearCandidates(table);
  EXPECT_EQ(ChooseContinuation(table).text, "");
}

TEST_F(ResultAnalysisTest, NextInputIsTheTrimmedChoiceOrAFallback) {
  SetNextInput(" \tsat on ");
  EXPECT_EQ(std::string(Story.NextInput), "sat on ");
  TextCopy(Story.InputWords[1], "cat");
  SetNextInput("   ");
  EXPECT_EQ(std::string(Story.NextInput), "cat");
  TextCopy(Story.InputWords[1], "");
  SetControlText(kInputBox, "typed");
  SetNextInput("");
  EXPECT_EQ(std::string(Story.NextInput), "typed");
  SetControlText(kInputBox, "");
  SetNextInput("");
  EXPECT_EQ(std::string(Story.NextInput), "and");
}

TEST_F(ResultAnalysisTest, LongChoicesTakeTwoListLinesThatJoinToTheChoice) {
  ShowChoiceInList(std::string(100, 'h'));
  // A space before index 80 does not count; the first one from 80 on does.
  std::string spaced(150, 's');
  spaced[79] = spaced[80] = spaced[120] = ' ';
  ShowChoiceInList(spaced);
  const std::string solid(150, 'x');
  ShowChoiceInList(solid);
  EXPECT_EQ(StoryLines(), (Lines{std::string(100, 'h'), spaced.substr(0, 80), spaced.substr(80),
                                 solid.substr(0, 100), solid.substr(100)}));
}

TEST_F(ResultAnalysisTest, StoryFileIsAppendedOrTheFailureReported) {
  WriteProgramFile("OutPutTextFile.txt", "earlier\r\n");
  AppendToStoryFile(" sat on");
  AppendToStoryFile("was");
  EXPECT_EQ(ReadProgramFile("OutPutTextFile.txt"), "earlier\r\n sat on\r\nwas\r\n");

  // A folder in the file's place cannot be opened for appending.
  RemoveProgramFile("OutPutTextFile.txt");
  std::filesystem::create_directory(ProgramFolder() + "OutPutTextFile.txt");
  StartDebugCapture();
  RecordChoice("lost");
  std::filesystem::remove(ProgramFolder() + "OutPutTextFile.txt");
  EXPECT_EQ(DebugMessages(), Lines{"error writing to file: OutPutTextFile.txt"});
  EXPECT_EQ(GetControlText(kStatusBar), "error writing to file: OutPutTextFile.txt");
  EXPECT_EQ(StoryLines().back(), "lost");  // still shown and remembered
  EXPECT_EQ(std::string(Story.OutputHistory[1]), "lost");
}

TEST_F(ResultAnalysisTest, HistoryRingKeepsTheLast99Choices) {
  for (int i = 1; i <= 100; ++i) RememberChoice("choice " + std::to_string(i));
  EXPECT_EQ(Story.HistoryIndex, 1);
  EXPECT_TRUE(Story.OutputHistory[0].empty());
  EXPECT_EQ(std::string(Story.OutputHistory[1]), "choice 100");
  EXPECT_FALSE(UsedRecently("choice 1"));  // recorded 100 choices ago
  EXPECT_TRUE(UsedRecently("choice 2"));   // recorded 99 choices ago
}

TEST_F(ResultAnalysisTest, SecondPartDlfRecordsTheChoiceEverywhereOrNothing) {
  TextCopy(Story.InputWords[1], "cat");
  SecondPartDLF();  // no page: nothing found, nothing recorded
  EXPECT_EQ(std::string(Story.NextInput), "cat");
  EXPECT_TRUE(StoryLines().empty());
  EXPECT_FALSE(ProgramFileExists("OutPutTextFile.txt"));
  EXPECT_EQ(Story.HistoryIndex, 0);

  WriteProgramFile("googleblog.htm",
                   "<b>the cat</b>  sat on. <b>the cat</b>  sat on. <b>the cat</b> was.\r\n");
  TextCopy(Story.SearchWords, "the cat");
  StartDebugCapture();
  SecondPartDLF();
  EXPECT_EQ(std::string(Story.NextInput), "sat on");
  EXPECT_EQ(StoryLines(), Lines{" sat on"});
  EXPECT_EQ(ReadProgramFile("OutPutTextFile.txt"), " sat on\r\n");
  EXPECT_EQ(std::string(Story.OutputHistory[1]), " sat on");
  const Lines messages = DebugMessages();
  EXPECT_EQ(messages.front(), "SecondPartDLF");
  EXPECT_EQ(messages.back(), " sat on");

  // The same page again: " sat on" is used, "was" is the choice.
  TextCopy(Story.SearchWords, "the cat");
  SecondPartDLF();
  EXPECT_EQ(std::string(Story.NextInput), "was");
  EXPECT_EQ(GetControlText(kStatusBar), kAlreadyUsed);
}

}  // namespace
