// Whole cycles through HandleWindowEvent and the scripted window layer: GO and
// Enter, a tick from the chosen text, the debug lines, the search request, the
// story file and the timer; STOP, empty and blank inputs, close, and events that
// arrive nested inside a cycle (from its own pump or from the word-list box).
#include <algorithm>
#include <string>

#include "app/event_handler.h"
#include "query/url_download.h"
#include "support/fresh_story.h"

using namespace talewick;

namespace {

// A port on which nothing listens: the download fails at once.
constexpr const char* kRefusingSearch = "http://127.0.0.1:1/search?hl=en&q=";

// Snippets for "the cat" (twice "sat on the mat", once "was here") and for
// "on the mat" (twice "and then slept").
const std::string kResultPage =
    "<html><body>\r\n"
    "<p><b>The Cat</b> sat on the mat. One</p>\r\n"
    "<p><b>the cat</b> sat on the mat. Two <b>the cat</b> was here.</p>\r\n"
    "<p><b>on the mat</b> and then slept. <b>on the mat</b> and then slept.</p>\r\n"
    "</body></html>\r\n";

void Replace(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

class CycleTest : public ServedStoryTest {
 protected:
  void SetUp() override {
    savedLimits_ = CurrentDownloadLimits();
    CurrentDownloadLimits().totalTimeoutMs = 3'000;
    ServedStoryTest::SetUp();
    WriteProgramFile("dictionary.txt", "a\r\nand\r\ncat\r\nmat\r\non\r\nsat\r\nthe\r\n");
    server_.Serve("/search", PageResponse(kResultPage));
  }
  void TearDown() override {
    ServedStoryTest::TearDown();
    CurrentDownloadLimits() = savedLimits_;
  }

  // What the stages log for one successful cycle on `words` that chooses `choice`
  // from `candidates` (in page order) with `count` votes, after the lines `before`:
  // the shared cycle log with its placeholders filled in.
  Lines CycleLines(Lines lines, const std::string& words, const Lines& candidates,
                   const std::string& choice, int count) const {
    std::string log = ReadProgramFile("one_cycle.log");
    Replace(log, "\r", "");
    Replace(log, "{words}", words);
    Replace(log, "{host}", server_.BaseUrl());
    Replace(log, "{site}", kSite);
    Replace(log, "{folder}", ProgramFolder());
    Replace(log, "{count}", std::to_string(count));
    Replace(log, "{choice}", choice);
    for (size_t start = 0, end; start < log.size(); start = end + 1) {
      end = log.find('\n', start);
      if (end == std::string::npos) end = log.size();
      const std::string line = log.substr(start, end - start);
      if (line != "{candidates}") {
        lines.push_back(line);
        continue;
      }
      for (const std::string& candidate : candidates)
        lines.insert(lines.end(), {"message...SecondPartDLF", candidate});
    }
    return lines;
  }
  // Up to `count` lines from the first that is `first`: a stage's lines, found
  // by what they say wherever they stand in the log.
  static Lines LinesFrom(const Lines& lines, const std::string& first, std::size_t count) {
    auto from = std::find(lines.begin(), lines.end(), first);
    const auto left = static_cast<std::size_t>(lines.end() - from);
    return Lines(from, from + static_cast<std::ptrdiff_t>(std::min(count, left)));
  }
  // The request target as the server sees it.
  static std::string WireTarget(const std::string& encodedWords) {
    return "/search?hl=en&q=" + encodedWords + "+site%3A" + kSite + "&btnG=Google+Search&meta=";
  }

  static void Go() { DeliverEvent(kCommandEvent, kGoButton, kClickedNotify); }
  static void Tick() { DeliverEvent(kTimerEvent, 0, 0); }
  static void Stop() { DeliverEvent(kCommandEvent, kStopButton, kClickedNotify); }
  static std::string Box() { return GetControlText(kInputBox); }
  static bool GoEnabled() { return Scripted().controls.at(kGoButton).enabled; }
  static int Count(const std::string& message) { return DebugMessageCount(message); }
  // Number of cycles run: each starts with DownloadString and ends with SecondPartDLF.
  static int Cycles() {
    EXPECT_EQ(Count("DownloadString"), Count("SecondPartDLF"));
    return Count("DownloadString");
  }

  DownloadLimits savedLimits_;
};

TEST_F(CycleTest, GoThenATickGrowTheStoryByTwoChoices) {
  TypeInto(kInputBox, "the cat");
  Go();
  EXPECT_EQ(DebugMessages(),
            CycleLines({"starting...", "GO button pressed"}, "the cat",
                       {"sat on the mat", "sat on the mat", "was here"}, "sat on the mat", 2));
  EXPECT_EQ(DebugLines().front(), "[Talewick 02] starting...");
  // The status bar while the page comes: "Downloading file...", then the stage's progress.
  const Lines& statuses = DebugStatuses();
  EXPECT_EQ(LinesFrom(statuses, "Downloading file...", 2),
            (Lines{"Downloading file...", "download sofar OK..."}));
  EXPECT_EQ(StoryLines(), (Lines{"the cat", "sat on the mat"}));
  EXPECT_EQ(ReadProgramFile("OutPutTextFile.txt"), "sat on the mat\r\n");
  EXPECT_EQ(GetControlText(kStatusBar), "download sofar OK...all OK");
  EXPECT_TRUE(Scripted().timerArmed);
  EXPECT_EQ(Scripted().timerInterval, 3000);

  StartDebugCapture();
  const int pumpsBefore = Scripted().pumpCount;
  QueueTimerTick();
  PumpEvents(0);
  EXPECT_EQ(Scripted().pumpCount, pumpsBefore + 2);  // the tick's own pump after its stages
  // All four words are in the list, so the last three make the query.
  EXPECT_EQ(DebugMessages(), CycleLines({"timer..."}, "on the mat",
                                        {"and then slept", "and then slept"}, "and then slept", 2));
  EXPECT_EQ(StoryLines(), (Lines{"the cat", "sat on the mat", "and then slept"}));
  EXPECT_EQ(ReadProgramFile("OutPutTextFile.txt"), "sat on the mat\r\nand then slept\r\n");
  EXPECT_EQ(Scripted().timerInterval, 2000);
  EXPECT_EQ(Scripted().timerArmCount, 2);
  EXPECT_EQ(server_.RequestTargets(),
            (Lines{WireTarget("the%20cat"), WireTarget("on%20the%20mat")}));

  // STOP while waiting: the timer goes off, KeepRunning stays 1.
  QueueCommand(kStopButton, kClickedNotify);
  PumpEvents(0);
  EXPECT_FALSE(Scripted().timerArmed);
  EXPECT_EQ(GetControlText(kStatusBar), "stopped...");
  EXPECT_EQ(Story.KeepRunning, 1);
  // STOP inside a cycle is remembered: the cycle ends without re-arming.
  Scripted().onPump = [] { Stop(); };
  TypeInto(kInputBox, "the cat\r");
  EXPECT_EQ(Count("STOP button pressed"), 2);
  EXPECT_FALSE(Scripted().timerArmed);
  EXPECT_EQ(GetControlText(kStatusBar), "stopped...");
}

TEST_F(CycleTest, AFailedDownloadEndsTheStoryAfterAnalysingTheEarlierPage) {
  TypeInto(kInputBox, "the cat\r");
  ASSERT_TRUE(Scripted().timerArmed);
  server_.Serve("/search", PageResponse("<html>try later</html>", 503));
  StartDebugCapture();
  Tick();
  const Lines messages = DebugMessages();
  EXPECT_EQ(LinesFrom(messages, "DownLoadFile", 3),
            (Lines{"DownLoadFile", "error downloading", "SecondPartDLF"}));
  // The stages after the download still run, on the page of the cycle before.
  EXPECT_EQ(messages.back(), "and then slept");
  EXPECT_EQ(ReadProgramFile("googleblog.htm"), kResultPage);
  EXPECT_EQ(GetControlText(kStatusBar), "error downloading");
  EXPECT_EQ(Story.KeepRunning, 0);
  EXPECT_FALSE(Scripted().timerArmed);
  EXPECT_TRUE(GoEnabled());
}

TEST_F(CycleTest, EnterGoAndTicksTakeTheirTextAsItStands) {
  TextCopy(Story.SearchUrlPrefix, kRefusingSearch);
  TypeInto(kInputBox, "the cat\r");
  EXPECT_EQ(Box(), "");
  EXPECT_EQ(std::string(Story.LoweredInput), "the cat");
  // Tabs and pasted line breaks reach the input unchanged; the GO button acts too.
  SetControlText(kInputBox, "A\tb\r\nc");
  Go();
  EXPECT_EQ(std::string(Story.LoweredInput), "a\tb\r\nc");
  // A blank input runs; an empty one only disarms the timer.
  TypeInto(kInputBox, "  \r");
  StartWindowTimer(3000, kCycleTimer);
  Go();
  EXPECT_FALSE(Scripted().timerArmed);
  EXPECT_NE(GetControlText(kStatusBar), "stopped...");
  EXPECT_EQ(Count("GO button pressed"), 4);
  EXPECT_EQ(Cycles(), 3);
  EXPECT_EQ(StoryLines(), (Lines{"the cat", "A\tb\r\nc", "  "}));
  EXPECT_TRUE(GoEnabled());

  // A tick runs from NextInput unless it is blank; it adds no input line.
  StartWindowTimer(2000, kCycleTimer);
  for (const char* blank : {"", " \t "}) {
    TextCopy(Story.NextInput, blank);
    Tick();
  }
  EXPECT_EQ(Count("timer..."), 2);
  EXPECT_EQ(Cycles(), 3);
  EXPECT_FALSE(Scripted().timerArmed);
  TextCopy(Story.NextInput, "  and ");
  Tick();
  EXPECT_EQ(Cycles(), 4);
  EXPECT_EQ(std::string(Story.LoweredInput), "and ");
  EXPECT_EQ(StoryLines().size(), 3u);
}

TEST_F(CycleTest, GoAndTicksInsideACycleDoNothing) {
  TextCopy(Story.SearchUrlPrefix, kRefusingSearch);
  // Enter, a GO click and a tick while the GO path pumps before its stages.
  SetControlText(kInputBox, "first");
  QueueAction([] { TypeInto(kInputBox, "second\r"); });
  QueueAction([] { Go(); });
  QueueAction([] { Tick(); });
  Go();
  EXPECT_EQ(Count("GO button pressed"), 1);
  EXPECT_EQ(Count("timer..."), 0);
  EXPECT_EQ(Cycles(), 1);
  EXPECT_EQ(std::string(Story.LoweredInput), "first");
  EXPECT_EQ(Box(), "second");  // the nested Enter left the box alone
  EXPECT_TRUE(GoEnabled());

  // Enter typed during a timer cycle's stages waits for its pump, and does nothing there.
  TextCopy(Story.NextInput, "tick");
  SetControlText(kInputBox, "");
  QueueAction([] { TypeInto(kInputBox, "typed\r"); });
  Tick();
  EXPECT_EQ(Cycles(), 2);
  EXPECT_EQ(std::string(Story.LoweredInput), "tick");
  EXPECT_EQ(Box(), "typed");
}

TEST_F(CycleTest, EventsWhileTheWordListBoxIsOpen) {
  TextCopy(Story.SearchUrlPrefix, kRefusingSearch);
  RemoveProgramFile("dictionary.txt");  // every word shows a box, whose loop dispatches events
  bool goEnabledInBox = true;
  Scripted().onPump = [&] {
    if (Scripted().messageBoxes.size() != 1) return;
    goEnabledInBox = GoEnabled();
    QueueCommand(kGoButton, kClickedNotify);  // a disabled button takes no click
    QueueAction([] { TypeInto(kInputBox, "more\r"); });
    QueueAction([] { Tick(); });
    QueueCommand(kStopButton, kClickedNotify);
    QueueClose();
  };
  TypeInto(kInputBox, "one two\r");
  EXPECT_FALSE(goEnabledInBox);
  EXPECT_EQ(Scripted().messageBoxes.size(), 2u);  // the cycle went on to the second word
  EXPECT_EQ(Count("GO button pressed"), 1);
  EXPECT_EQ(Count("timer..."), 0);
  EXPECT_EQ(Count("STOP button pressed"), 1);
  EXPECT_EQ(Cycles(), 1);
  EXPECT_EQ(Story.WindowOpen, 0);
  EXPECT_EQ(Box(), "more");
  EXPECT_EQ(GetControlText(kStatusBar), "stopped...");
  EXPECT_FALSE(Scripted().timerArmed);
  EXPECT_TRUE(GoEnabled());
}

}  // namespace
