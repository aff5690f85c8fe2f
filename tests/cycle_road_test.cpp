// The road of whole cycles through HandleWindowEvent: GO with "the cat", the
// search request against the local server, the page, the choice, the story file
// and the timer; then a tick and the next cycle from the chosen text.
#include <string>

#include "app/event_handler.h"
#include "query/url_download.h"
#include "support/fresh_story.h"
#include "support/local_http_server.h"
#include "support/test_environment.h"

namespace {

const char kSite[] = "example.org";

// Snippets for "the cat" (twice "sat on the mat", once "was here") and for
// "on the mat" (twice "and then slept").
const std::string kResultPage =
    "<html><body>\r\n"
    "<p><b>The Cat</b> sat on the mat. One</p>\r\n"
    "<p><b>the cat</b> sat on the mat. Two <b>the cat</b> was here.</p>\r\n"
    "<p><b>on the mat</b> and then slept. <b>on the mat</b> and then slept.</p>\r\n"
    "</body></html>\r\n";

class CycleRoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedLimits_ = CurrentDownloadLimits();
    CurrentDownloadLimits().totalTimeoutMs = 3'000;
    SetTestEnvironment("TALEWICK_SEARCH_HOST", server_.BaseUrl());
    SetTestEnvironment("TALEWICK_SEARCH_SITE", kSite);
    WriteProgramFile("dictionary.txt", "a\r\nand\r\ncat\r\nmat\r\non\r\nsat\r\nthe\r\n");
    RemoveProgramFile("googleblog.htm");
    RemoveProgramFile("OutPutTextFile.txt");
    server_.Serve("/search", PageResponse(kResultPage));
    ResetScriptedWindow();
    StartDebugCapture();
    StartUp();  // with the environment above, and logged
  }
  void TearDown() override {
    ShutDown();
    CurrentDownloadLimits() = savedLimits_;
    for (const char* name : {"dictionary.txt", "googleblog.htm", "OutPutTextFile.txt"}) {
      RemoveProgramFile(name);
    }
  }

  // What the stages log for one successful cycle on `words` that chooses `choice`
  // from `candidates` (the continuations in page order) with `count` votes.
  // `lines` (what is logged before the cycle) first.
  Lines CycleLines(Lines lines, const std::string& words, const Lines& candidates,
                   const std::string& choice, int count) const {
    lines.insert(lines.end(), {"DownloadString", "DisectInput", "DLFControl",
                               "SearchWords: " + words, "SearchString: " + SearchUrl(words),
                               "DownloadFile: " + ProgramFolder() + "googleblog.htm",
                               "DownLoadFile", "download sofar OK...", "all OK", "SecondPartDLF",
                               "message...SecondPartDLF...SearchWords: <b>" + words + "</b>"});
    for (const std::string& candidate : candidates) {
      lines.push_back("message...SecondPartDLF");
      lines.push_back(candidate);
    }
    lines.push_back("message...SecondPartDLF...output that occurs the most number: " +
                    std::to_string(count));
    lines.push_back(choice);
    return lines;
  }

  // The URL as the program stores and logs it: literal spaces.
  std::string SearchUrl(const std::string& words) const {
    return server_.BaseUrl() + "/search?hl=en&q=" + words + "+site%3A" + kSite +
           "&btnG=Google+Search&meta=";
  }
  // The same URL as the server sees it.
  static std::string WireTarget(const std::string& encodedWords) {
    return "/search?hl=en&q=" + encodedWords + "+site%3A" + kSite + "&btnG=Google+Search&meta=";
  }

  static void PressGo(const std::string& text) {
    TypeInto(kInputBox, text);
    DeliverEvent(kCommandEvent, kGoButton, kClickedNotify);
  }

  LocalHttpServer server_;
  DownloadLimits savedLimits_;
};

TEST_F(CycleRoadTest, GoThenATickGrowTheStoryByTwoChoices) {
  PressGo("the cat");

  EXPECT_EQ(DebugMessages(),
            CycleLines({"starting...", "GO button pressed"}, "the cat",
                       {"sat on the mat", "sat on the mat", "was here"}, "sat on the mat", 2));
  EXPECT_EQ(DebugLines().front(), "[Talewick 02] starting...");
  EXPECT_EQ(StoryLines(), (Lines{"the cat", "sat on the mat"}));
  EXPECT_EQ(ReadProgramFile("OutPutTextFile.txt"), "sat on the mat\r\n");
  EXPECT_EQ(GetControlText(kStatusBar), "download sofar OK...all OK");
  EXPECT_TRUE(Scripted().timerArmed);
  EXPECT_EQ(Scripted().timerInterval, 3000);
  EXPECT_EQ(Story.NextInput.view(), "sat on the mat");

  StartDebugCapture();
  DeliverEvent(kTimerEvent, 0, 0);

  // All four words are in the list, so the last three make the query.
  EXPECT_EQ(DebugMessages(), CycleLines({"timer..."}, "on the mat",
                                        {"and then slept", "and then slept"}, "and then slept", 2));
  EXPECT_EQ(StoryLines(), (Lines{"the cat", "sat on the mat", "and then slept"}));
  EXPECT_EQ(ReadProgramFile("OutPutTextFile.txt"), "sat on the mat\r\nand then slept\r\n");
  EXPECT_EQ(Scripted().timerInterval, 2000);
  EXPECT_EQ(Scripted().timerArmCount, 2);
  EXPECT_EQ(Story.NextInput.view(), "and then slept");

  EXPECT_EQ(server_.RequestTargets(),
            (Lines{WireTarget("the%20cat"), WireTarget("on%20the%20mat")}));
}

TEST_F(CycleRoadTest, AFailedDownloadEndsTheStoryAfterAnalysingTheEarlierPage) {
  PressGo("the cat");
  ASSERT_TRUE(Scripted().timerArmed);

  server_.Serve("/search", PageResponse("<html>try later</html>", 503));
  StartDebugCapture();
  DeliverEvent(kTimerEvent, 0, 0);

  const Lines messages = DebugMessages();
  ASSERT_GE(messages.size(), 10u);
  EXPECT_EQ(Lines(messages.begin() + 7, messages.begin() + 10),
            (Lines{"DownLoadFile", "error downloading", "SecondPartDLF"}));
  // The stages after the download still run, on the page of the cycle before.
  EXPECT_EQ(messages.back(), "and then slept");
  EXPECT_EQ(ReadProgramFile("googleblog.htm"), kResultPage);
  EXPECT_EQ(GetControlText(kStatusBar), "error downloading");
  EXPECT_EQ(Story.KeepRunning, 0);
  EXPECT_FALSE(Scripted().timerArmed);
  EXPECT_TRUE(Scripted().controls[kGoButton].enabled);
}

}  // namespace
