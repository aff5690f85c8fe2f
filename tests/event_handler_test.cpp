// The event handler and the generation cycle, driven through the scripted window
// layer: GO and Enter, empty and blank inputs, timer ticks, the re-arm intervals,
// STOP, and events that arrive nested inside a cycle (from its own pump or from
// the missing-word-list message box).
#include <string>

#include "app/event_handler.h"
#include "support/fresh_story.h"
#include "support/local_http_server.h"

namespace {

// A port on which nothing listens: the download fails at once.
constexpr const char* kRefusingSearch = "http://127.0.0.1:1/search?hl=en&q=";

class EventHandlerTest : public FreshStoryTest {
 protected:
  void SetUp() override {
    FreshStoryTest::SetUp();
    TextCopy(Story.SearchUrlPrefix, kRefusingSearch);
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
};

TEST_F(EventHandlerTest, EnterAndGoRunOneCycleWithTheTypedText) {
  TypeInto(kInputBox, "the cat\r");
  EXPECT_EQ(Count("GO button pressed"), 1);
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
}

TEST_F(EventHandlerTest, TickRunsFromNextInputUnlessItIsBlank) {
  StartWindowTimer(2000, kCycleTimer);
  for (const char* blank : {"", " \t "}) {
    TextCopy(Story.NextInput, blank);
    Tick();
  }
  EXPECT_EQ(Count("timer..."), 2);
  EXPECT_EQ(Cycles(), 0);
  EXPECT_FALSE(Scripted().timerArmed);
  EXPECT_TRUE(GoEnabled());

  TextCopy(Story.NextInput, "  and ");
  Tick();
  EXPECT_EQ(Cycles(), 1);
  EXPECT_EQ(std::string(Story.LoweredInput), "and ");
  EXPECT_TRUE(StoryLines().empty());  // a tick adds no input line
}

TEST_F(EventHandlerTest, SuccessfulCyclesReArmUntilStop) {
  LocalHttpServer server;
  server.Serve("/search", PageResponse("<b>the cat</b> sat on the mat.\r\n"
                                       "<b>on the mat</b> and slept.\r\n"));
  TextCopy(Story.SearchUrlPrefix, server.BaseUrl() + "/search?hl=en&q=");
  WriteProgramFile("dictionary.txt", "the\r\ncat\r\nsat\r\non\r\nmat\r\n");

  TypeInto(kInputBox, "the cat\r");
  EXPECT_TRUE(Scripted().timerArmed);
  EXPECT_EQ(Scripted().timerInterval, 3000);
  const int pumpsBefore = Scripted().pumpCount;
  QueueTimerTick();
  PumpEvents(0);
  EXPECT_EQ(Scripted().pumpCount, pumpsBefore + 2);  // the tick's own pump after its stages
  EXPECT_EQ(Scripted().timerInterval, 2000);
  EXPECT_TRUE(Scripted().timerArmed);
  EXPECT_EQ(std::string(Story.NextInput), "and slept");

  // STOP while waiting: the timer goes off, KeepRunning stays 1.
  QueueCommand(kStopButton, kClickedNotify);
  PumpEvents(0);
  EXPECT_FALSE(Scripted().timerArmed);
  EXPECT_EQ(GetControlText(kStatusBar), "stopped...");
  EXPECT_EQ(Count("STOP button pressed"), 1);
  EXPECT_EQ(Story.KeepRunning, 1);

  // STOP inside a cycle is remembered: the cycle ends without re-arming.
  Scripted().onPump = [] { Stop(); };
  TypeInto(kInputBox, "the cat\r");
  EXPECT_EQ(Story.KeepRunning, 1);
  EXPECT_FALSE(Scripted().timerArmed);
  EXPECT_EQ(GetControlText(kStatusBar), "stopped...");
}

TEST_F(EventHandlerTest, GoAndTicksInsideACycleDoNothing) {
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
  EXPECT_EQ(StoryLines(), Lines{"first"});
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

TEST_F(EventHandlerTest, EventsWhileTheWordListBoxIsOpen) {
  // No dictionary.txt: every word shows a box, whose loop dispatches events.
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

TEST_F(EventHandlerTest, CloseOnlyClearsWindowOpenAndOtherEventsAreIgnored) {
  StartWindowTimer(3000, kCycleTimer);
  DeliverEvent(kCloseEvent, 0, 0);
  DeliverEvent(15, 0, 0);
  DeliverEvent(kMenuEvent, 0, 0);
  EXPECT_EQ(Story.WindowOpen, 0);
  EXPECT_TRUE(Scripted().timerArmed);
  EXPECT_TRUE(DebugMessages().empty());
}

}  // namespace
