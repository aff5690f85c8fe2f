// SecondPartDLF and its parts: the snippet walk, the candidate filter and table,
// the scan of whole lines and pages, the choice with history, the next input,
// the story list and file, and the history ring.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "analysis/candidate_table.h"
#include "analysis/next_word_choice.h"
#include "analysis/result_analysis.h"
#include "analysis/snippet_scan.h"
#include "analysis/story_output.h"
#include "app/scripted_window.h"
#include "app/startup.h"
#include "app/story_state.h"
#include "app/window_layer.h"
#include "support/debug_capture.h"
#include "support/program_files.h"

namespace {

using Lines = std::vector<std::string>;
constexpr const char* kPattern = "<b>the cat</b>";
constexpr const char* kAlreadyUsed = "output already used in the past 99 inputs";

class ResultAnalysisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearStoryState();
    ResetScriptedWindow();
    StartUp();
    RemoveProgramFile("googleblog.htm");
    RemoveProgramFile("OutPutTextFile.txt");
    ClearCandidates(table);
    StartDebugCapture();
  }

  // The continuation of the first occurrence of the pattern in `line`.
  std::string Walk(const std::string& line) {
    const int p = TextFind(line, kPattern, 1);
    EXPECT_GT(p, 0) << line;
    return WalkSnippet(line, p, TextLength(kPattern), inTag);
  }

  void Add(const std::string& text, int count) {
    for (int i = 0; i < count; ++i) CountCandidate(table, text);
  }

  static std::string Entry(const CandidateTable& t, int entry) {
    return std::string(t.text[entry]);
  }

  CandidateTable table;
  bool inTag = false;
};

TEST_F(ResultAnalysisTest, WalkCollectsLettersAndSpacesUpToAFullStop) {
  EXPECT_EQ(Walk("<b>the cat</b> sat on the mat. it was"), "sat on the mat");
  EXPECT_EQ(Walk("<b>the cat</b>, and then"), " and then");  // the comma is never examined
  EXPECT_EQ(Walk("<b>the cat</b> in 12, we."), "in  we");
  EXPECT_EQ(Walk("<b>the cat</b> sat\xc3\xa9 here"), "sat here");  // bytes above 127 skipped
  EXPECT_EQ(Walk("<b>the cat</b>abcdefghij"), "bcdefghij");        // ends with the line
  // At k = 0 a "." does not stop the walk, nor does a "<" open a tag.
  EXPECT_EQ(Walk("<b>the cat</b>x.abc. more"), "abc");
  EXPECT_EQ(Walk("<b>the cat</b> <i>sat</i> down."), "isat down");
  EXPECT_FALSE(inTag);
}

TEST_F(ResultAnalysisTest, TagStateCarriesOverAndTheWalkHasALimit) {
  EXPECT_EQ(Walk("<b>the cat</b> xy <a href=\"a.b\">link</a>"), "xy ");
  EXPECT_TRUE(inTag);  // the full stop in the address ended the walk inside the tag
  EXPECT_EQ(Walk("<b>the cat</b> abc> def."), " def");
  EXPECT_FALSE(inTag);
  // At most 199 characters are collected; steps 199 and 200 still open a tag.
  EXPECT_EQ(Walk(std::string(kPattern) + "x" + std::string(199, 'a') + "<b"),
            std::string(199, 'a'));
  EXPECT_TRUE(inTag);
}

TEST_F(ResultAnalysisTest, CandidatesAreFilteredLoggedAndCounted) {
  OfferCandidate(table, "");
  OfferCandidate(table, " ");
  EXPECT_TRUE(DebugMessages().empty());  // dropped silently

  OfferCandidate(table, "onenbsptwo");
  OfferCandidate(table, "anbspbnbspc");
  OfferCandidate(table, "abnbsp");  // "ab" is too short
  OfferCandidate(table, "   ");
  OfferCandidate(table, "onenbsptwo");
  EXPECT_EQ(table.nextFree, 4);
  EXPECT_EQ(Entry(table, 1), "onetwo");
  EXPECT_EQ(table.count[1], 2);
  EXPECT_EQ(Entry(table, 2), "abnbspc");
  EXPECT_EQ(Entry(table, 3), "   ");
  EXPECT_EQ(DebugMessages(),
            (Lines{"message...SecondPartDLF", "onenbsptwo", "message...SecondPartDLF",
                   "anbspbnbspc", "message...SecondPartDLF", "abnbsp", "message...SecondPartDLF",
                   "   ", "message...SecondPartDLF", "onenbsptwo"}));
}

TEST_F(ResultAnalysisTest, TableHoldsAHundredDistinctTexts) {
  for (int i = 0; i <= 100; ++i) CountCandidate(table, "text " + std::to_string(i));
  CountCandidate(table, "text 0");
  EXPECT_EQ(table.nextFree, 101);
  EXPECT_EQ(Entry(table, 100), "text 99");  // "text 100" found no room
  EXPECT_EQ(table.count[1], 2);             // stored texts still count
}

TEST_F(ResultAnalysisTest, ALineGivesAtMost101OccurrencesFromLeftToRight) {
  std::string line;
  for (int i = 0; i < 150; ++i) {
    line += std::string(kPattern) + " x" + static_cast<char>('a' + i / 26) +
            static_cast<char>('a' + i % 26) + ".";
  }
  TextCopy(Story.LineText, line);
  ScanLineText(kPattern, inTag, table);
  // 101 occurrences are walked and offered; the table takes the first 100.
  int offered = 0;
  for (const std::string& message : DebugMessages())
    offered += message == "message...SecondPartDLF";
  EXPECT_EQ(offered, 101);
  EXPECT_EQ(table.nextFree, 101);
  EXPECT_EQ(Entry(table, 1), "xaa");
  EXPECT_EQ(Entry(table, 100), "xdv");

  // The walked occurrences are masked in place, the line keeps its length, and
  // the first occurrence left is the 102nd.
  const std::string masked(Story.LineText);
  EXPECT_EQ(masked.size(), line.size());
  EXPECT_EQ(masked.find(kPattern), line.find(std::string(kPattern) + " xdx"));
}

TEST_F(ResultAnalysisTest, ScansThePageLowerCasedAndLeavesThePatternInSearchWords) {
  TextCopy(Story.SearchWords, "The Cat");
  WriteProgramFile("googleblog.htm",
                   "<p><B>The Cat</B> sat on the mat. <b>the cat</b> sat on the mat.\r\n"
                   "\r\n<b>the cat</b> was here.\n<b>the cat</b>, x");
  ScanResultPage(table);
  EXPECT_EQ(std::string(Story.SearchWords), kPattern);
  EXPECT_EQ(table.nextFree, 3);
  EXPECT_EQ(Entry(table, 1), "sat on the mat");
  EXPECT_EQ(table.count[1], 2);
  EXPECT_EQ(Entry(table, 2), "was here");
  EXPECT_EQ(std::string(Story.LineBuffer), "<b>the cat</b>, x");
  EXPECT_EQ(std::string(Story.LineText), "**************, x");
  EXPECT_EQ(DebugMessages().front(), "message...SecondPartDLF...SearchWords: <b>the cat</b>");
}

TEST_F(ResultAnalysisTest, LongSearchWordsAreMatchedWhole) {
  // The pattern outgrows SearchWords, which keeps what fits; the search and the
  // walk still use the whole pattern.
  const std::string words(250, 'w');
  TextCopy(Story.SearchWords, words);
  WriteProgramFile("googleblog.htm", "<b>" + words + "</b> went home.\r\n");
  ScanResultPage(table);
  EXPECT_EQ(Entry(table, 1), "went home");
  EXPECT_EQ(Story.SearchWords.length(), kTextCapacity);
}

TEST_F(ResultAnalysisTest, MissingOrEmptyPageLeavesTheTableEmpty) {
  TextCopy(Story.SearchWords, "x");
  ScanResultPage(table);
  EXPECT_EQ(DebugMessages(), (Lines{"message...SecondPartDLF...SearchWords: <b>x</b>",
                                    "error...SecondPartDLF: Unable to open file to search "}));
  EXPECT_EQ(table.nextFree, 1);

  WriteProgramFile("googleblog.htm", "");
  TextCopy(Story.SearchWords, "x");
  StartDebugCapture();
  ScanResultPage(table);
  EXPECT_EQ(DebugMessages(), Lines{"message...SecondPartDLF...SearchWords: <b>x</b>"});
  EXPECT_EQ(table.nextFree, 1);
}

TEST_F(ResultAnalysisTest, ChoosesTheMostFrequentUnusedFirstFoundOnTies) {
  Add("sat on", 2);
  Add("was", 2);
  WordChoice choice = ChooseContinuation(table);
  EXPECT_EQ(choice.text, "sat on");
  EXPECT_EQ(DebugMessages(),
            (Lines{"message...SecondPartDLF...output that occurs the most number: 2", "sat on"}));

  ClearCandidates(table);
  Add("used", 3);
  Add("fresh", 2);
  TextCopy(Story.OutputHistory[57], "used");
  StartDebugCapture();
  choice = ChooseContinuation(table);
  EXPECT_EQ(choice.text, "fresh");
  EXPECT_EQ(choice.bestCount, 2);
  EXPECT_EQ(DebugMessages().front(), kAlreadyUsed);
  EXPECT_EQ(DebugMessages().size(), 3u);
  EXPECT_EQ(GetControlText(kStatusBar), kAlreadyUsed);
}

TEST_F(ResultAnalysisTest, AllUsedFallsBackToEntryOneWithCountZero) {
  Add("one", 1);
  Add("three", 3);
  TextCopy(Story.OutputHistory[1], "one");
  TextCopy(Story.OutputHistory[99], "three");
  const WordChoice choice = ChooseContinuation(table);
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
  const std::string hundred(100, 'h');
  ShowChoiceInList(hundred);
  EXPECT_EQ(StoryLines(), Lines{hundred});

  // A space before index 80 does not count; the first one from 80 on does.
  std::string spaced(150, 's');
  spaced[79] = ' ';
  spaced[85] = ' ';
  spaced[120] = ' ';
  ShowChoiceInList(spaced);
  ASSERT_EQ(StoryLines().size(), 3u);
  EXPECT_EQ(StoryLines()[1], spaced.substr(0, 85));
  EXPECT_EQ(StoryLines()[2], spaced.substr(85));
  EXPECT_EQ(StoryLines()[2].size(), 65u);

  const std::string solid(150, 'x');
  ShowChoiceInList(solid);
  ASSERT_EQ(StoryLines().size(), 5u);
  EXPECT_EQ(StoryLines()[3] + StoryLines()[4], solid);
  EXPECT_EQ(StoryLines()[3].size(), 100u);
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

TEST_F(ResultAnalysisTest, SecondPartDlfRecordsTheChoiceEverywhere) {
  TextCopy(Story.SearchWords, "the cat");
  WriteProgramFile("googleblog.htm",
                   "<b>the cat</b>  sat on. <b>the cat</b>  sat on. <b>the cat</b> was.\r\n");
  SecondPartDLF();
  EXPECT_EQ(std::string(Story.NextInput), "sat on");
  EXPECT_EQ(StoryLines(), Lines{" sat on"});
  EXPECT_EQ(ReadProgramFile("OutPutTextFile.txt"), " sat on\r\n");
  EXPECT_EQ(std::string(Story.OutputHistory[1]), " sat on");
  const Lines messages = DebugMessages();
  ASSERT_GE(messages.size(), 4u);
  EXPECT_EQ(messages.front(), "SecondPartDLF");
  EXPECT_EQ(messages[messages.size() - 2],
            "message...SecondPartDLF...output that occurs the most number: 2");
  EXPECT_EQ(messages.back(), " sat on");

  // The same page again: " sat on" is used, "was" is the choice.
  TextCopy(Story.SearchWords, "the cat");
  SecondPartDLF();
  EXPECT_EQ(std::string(Story.NextInput), "was");
  EXPECT_EQ(GetControlText(kStatusBar), kAlreadyUsed);
}

TEST_F(ResultAnalysisTest, NothingFoundRecordsNothing) {
  TextCopy(Story.InputWords[1], "cat");
  SecondPartDLF();
  EXPECT_EQ(std::string(Story.NextInput), "cat");
  EXPECT_TRUE(StoryLines().empty());
  EXPECT_FALSE(ProgramFileExists("OutPutTextFile.txt"));
  EXPECT_EQ(Story.HistoryIndex, 0);
  EXPECT_EQ(DebugMessages().back(), "");
}

}  // namespace
