// Checks of the Win32 window layer in a real Wine desktop: the window and the
// controls that start-up creates, the translation of messages into WindowEvent,
// the Enter/Tab watch, the control operations, the timer and the message box.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/startup.h"
#include "app/window_layer.h"

namespace {

constexpr char kWindowClass[] = "TalewickMainWindow";
constexpr char kTestCaption[] = "Layer test";

std::vector<WindowEventRecord> events;
// Runs once inside the next handler call (to send a nested message).
std::function<void()> insideNextHandler;

int RecordEvent() {
  events.push_back(WindowEvent);
  if (insideNextHandler) {
    std::function<void()> step = std::move(insideNextHandler);
    insideNextHandler = nullptr;
    step();
  }
  return 0;
}

std::vector<WindowEventRecord> EventsWithCode(int32_t code) {
  std::vector<WindowEventRecord> found;
  for (const WindowEventRecord& event : events) {
    if (event.EventCode == code) found.push_back(event);
  }
  return found;
}

RECT RectInParent(HWND control) {
  RECT rect = {};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

struct ExpectedControl {
  int id;
  const char* className;
  DWORD style;
  DWORD extendedStyle;
  RECT rect;
  const char* text;
};

TEST(Win32StartUp, CreatesTheWindowAndTheFiveControlsAsTabled) {
  StartUp();
  HWND window = FindWindowA(kWindowClass, "Talewick 02");
  ASSERT_NE(window, nullptr);
  // The system itself adds sibling clipping to every top-level window and the
  // window edge to one with a sizing border.
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)) & ~WS_CLIPSIBLINGS,
            static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU |
                               WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  EXPECT_EQ(GetWindowLongA(window, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
  RECT outer = {};
  GetWindowRect(window, &outer);
  EXPECT_EQ(outer.right - outer.left, 840);
  EXPECT_EQ(outer.bottom - outer.top, 400);
  EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
  EXPECT_EQ(GetMenu(window), nullptr);

  const HICON fallback = LoadIconA(nullptr, IDI_APPLICATION);
  const auto icon = reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICON));
  EXPECT_NE(icon, nullptr);
  EXPECT_NE(icon, fallback) << "icon 101 was not loaded";
  EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrA(window, GCLP_HCURSOR)),
            LoadCursorA(nullptr, IDC_ARROW));
  EXPECT_EQ(GetClassLongPtrA(window, GCLP_HBRBACKGROUND), COLOR_WINDOW + 1);

  const ExpectedControl controls[] = {
      {kInputBox,
       "Edit",
       WS_CHILD | WS_VISIBLE | WS_BORDER | ES_MULTILINE,
       WS_EX_CLIENTEDGE,
       {10, 310, 550, 350},
       ""},
      {kGoButton, "Button", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 0, {560, 307, 620, 327}, "GO"},
      {kStopButton,
       "Button",
       WS_CHILD | WS_VISIBLE | BS_OWNERDRAW,
       0,
       {560, 330, 620, 350},
       "STOP"},
      {kStoryList,
       "ListBox",
       WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT |
           LBS_HASSTRINGS,
       WS_EX_CLIENTEDGE,
       {5, 5, 830, 305},
       ""},
  };
  for (const ExpectedControl& expected : controls) {
    SCOPED_TRACE(expected.id);
    HWND control = GetDlgItem(window, expected.id);
    ASSERT_NE(control, nullptr);
    EXPECT_STRCASEEQ(ClassOf(control).c_str(), expected.className);
    // The list may show its vertical bar only when needed; the edit box, given a
    // client edge, may drop the plain border: compare what the layer asked for.
    const DWORD style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
    EXPECT_EQ(style | WS_BORDER | WS_VSCROLL | WS_HSCROLL,
              expected.style | WS_BORDER | WS_VSCROLL | WS_HSCROLL);
    EXPECT_EQ(GetWindowLongA(control, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY,
              static_cast<LONG>(expected.extendedStyle));
    const RECT rect = RectInParent(control);
    EXPECT_EQ(rect.left, expected.rect.left);
    EXPECT_EQ(rect.top, expected.rect.top);
    EXPECT_EQ(rect.right, expected.rect.right);
    EXPECT_EQ(rect.bottom, expected.rect.bottom);
    EXPECT_EQ(GetControlText(expected.id), expected.text);
  }

  HWND status = GetDlgItem(window, kStatusBar);
  ASSERT_NE(status, nullptr);
  EXPECT_STRCASEEQ(ClassOf(status).c_str(), STATUSCLASSNAMEA);
  EXPECT_EQ(GetControlText(kStatusBar), "Status...");
  RECT client = {};
  GetClientRect(window, &client);
  const RECT statusRect = RectInParent(status);
  EXPECT_EQ(statusRect.left, 0);
  EXPECT_EQ(statusRect.right, client.right);
  EXPECT_EQ(statusRect.bottom, client.bottom);
  // No control has the keyboard focus at start-up.
  const HWND focus = GetFocus();
  EXPECT_TRUE(focus == nullptr || GetParent(focus) != window);
  CloseWindowLayer();
}

// A window of its own with a handler that records every event.
class Win32Layer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    OpenWindow(0, 0, 840, 400, 0x70000, nullptr, kTestCaption, RecordEvent);
    CreateControl(kEditKind, "", 10, 310, 540, 40, 0x4, kInputBox);
    CreateControl(kButtonKind, "GO", 560, 307, 60, 20, 0x50000000, kGoButton);
    CreateControl(kListKind, "", 5, 5, 825, 300, 0x50B00140, kStoryList);
    CreateControl(kStatusKind, "Status...", 0, 0, 0, 0, 0, kStatusBar);
  }
  void SetUp() override {
    SetNotifySwitches(kInputBox, 0, 1);
    SetControlText(kInputBox, "");
    events.clear();
    WindowEvent = WindowEventRecord{};
  }
  static HWND Window() { return FindWindowA(kWindowClass, kTestCaption); }
  static HWND Control(int id) { return GetDlgItem(Window(), id); }
  static void Type(int id, const std::string& characters) {
    for (char c : characters) SendMessageA(Control(id), WM_CHAR, static_cast<WPARAM>(c), 0);
  }
};

TEST_F(Win32Layer, EnterInTheInputBoxIsOneCommandAndNoLineBreak) {
  Type(kInputBox, "the\rcat");
  EXPECT_EQ(GetControlText(kInputBox), "thecat");
  const auto commands = EventsWithCode(kCommandEvent);
  int enters = 0;
  for (const WindowEventRecord& event : commands) {
    if (event.NotifyCode == kEnterNotify) {
      ++enters;
      EXPECT_EQ(event.ControlId, kInputBox);
      EXPECT_EQ(reinterpret_cast<HWND>(event.LongParam), Control(kInputBox));
    }
    EXPECT_NE(event.NotifyCode, kTabNotify);
  }
  EXPECT_EQ(enters, 1);
}

TEST_F(Win32Layer, TabIsTextUntilItsSwitchIsOnAndEnterIsTextWhenItsSwitchIsOff) {
  Type(kInputBox, "a\tb");
  EXPECT_EQ(GetControlText(kInputBox), "a\tb");
  EXPECT_TRUE(EventsWithCode(kCommandEvent).empty() ||
              EventsWithCode(kCommandEvent).back().NotifyCode != kTabNotify);

  SetNotifySwitches(kInputBox, 1, 0);
  SetControlText(kInputBox, "");
  events.clear();
  Type(kInputBox, "a\tb\rc");
  EXPECT_EQ(GetControlText(kInputBox), "ab\r\nc");
  int tabs = 0;
  for (const WindowEventRecord& event : EventsWithCode(kCommandEvent)) {
    tabs += event.NotifyCode == kTabNotify ? 1 : 0;
    EXPECT_NE(event.NotifyCode, kEnterNotify);
  }
  EXPECT_EQ(tabs, 1);
}

TEST_F(Win32Layer, ListAndStatusBarAreWatchedButtonsAreNot) {
  SetNotifySwitches(kStoryList, 0, 1);
  SetNotifySwitches(kStatusBar, 0, 1);
  SetNotifySwitches(kGoButton, 0, 1);
  Type(kStoryList, "\r");
  Type(kStatusBar, "\r");
  Type(kGoButton, "\r");
  std::vector<int32_t> senders;
  for (const WindowEventRecord& event : EventsWithCode(kCommandEvent)) {
    if (event.NotifyCode == kEnterNotify) senders.push_back(event.ControlId);
  }
  EXPECT_EQ(senders, (std::vector<int32_t>{kStoryList, kStatusBar}));
}

TEST_F(Win32Layer, MessagesBecomeEventsAndTheOuterEventIsRestored) {
  WindowEvent.ControlId = 42;
  WindowEvent.NotifyCode = 43;
  SendMessageA(Window(), WM_CLOSE, 0, 0);
  SendMessageA(Window(), WM_COMMAND, MAKEWPARAM(77, 0), 0);
  SendMessageA(Window(), WM_TIMER, kCycleTimer, 0);
  NMHDR header = {Control(kStatusBar), kStatusBar, static_cast<UINT>(NM_CLICK)};
  SendMessageA(Window(), WM_NOTIFY, kStatusBar, reinterpret_cast<LPARAM>(&header));
  SendMessageA(Window(), WM_MOUSEMOVE, 0, MAKELPARAM(12, 34));

  ASSERT_EQ(EventsWithCode(kCloseEvent).size(), 1u);
  EXPECT_EQ(EventsWithCode(kCloseEvent)[0].ControlId, 42);
  ASSERT_EQ(EventsWithCode(kMenuEvent).size(), 1u);
  EXPECT_EQ(EventsWithCode(kMenuEvent)[0].ControlId, 42);
  EXPECT_EQ(EventsWithCode(kMenuEvent)[0].NotifyCode, 43);
  ASSERT_EQ(EventsWithCode(kTimerEvent).size(), 1u);
  EXPECT_EQ(EventsWithCode(kTimerEvent)[0].ControlId, 42);
  const auto notify = EventsWithCode(kCommandEvent);
  ASSERT_FALSE(notify.empty());
  EXPECT_EQ(notify.back().ControlId, kStatusBar);
  EXPECT_EQ(notify.back().NotifyCode, NM_CLICK);
  const auto moves = EventsWithCode(WM_MOUSEMOVE);
  ASSERT_FALSE(moves.empty());
  EXPECT_EQ(moves.back().PointerX, 12);
  EXPECT_EQ(moves.back().PointerY, 34);
  // Each handler call was undone: the fields are those set before the first message.
  EXPECT_EQ(WindowEvent.ControlId, 42);
  EXPECT_EQ(WindowEvent.NotifyCode, 43);
  EXPECT_EQ(WindowEvent.EventCode, 0);
  // A close request never destroys the window.
  EXPECT_TRUE(IsWindow(Window()));
  EXPECT_TRUE(IsWindowVisible(Window()));
}

TEST_F(Win32Layer, AnEventInsideAnotherLeavesTheOuterFieldsAsTheyWere) {
  WindowEventRecord seenAfterInner = {};
  insideNextHandler = [&] {
    SendMessageA(Window(), WM_COMMAND, MAKEWPARAM(kGoButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Control(kGoButton)));
    seenAfterInner = WindowEvent;
  };
  SendMessageA(Window(), WM_TIMER, kCycleTimer, 0);
  EXPECT_EQ(seenAfterInner.EventCode, kTimerEvent);
  ASSERT_EQ(EventsWithCode(kCommandEvent).size(), 1u);
  EXPECT_EQ(EventsWithCode(kCommandEvent)[0].ControlId, kGoButton);
}

TEST_F(Win32Layer, ControlOperations) {
  const std::string longText(1000, 'x');
  SetControlText(kInputBox, longText);
  EXPECT_EQ(GetControlText(kInputBox), longText);

  SetControlText(kStatusBar, "stopped...");
  char part[64] = {};
  SendMessageA(Control(kStatusBar), SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(part));
  EXPECT_STREQ(part, "stopped...");
  EXPECT_EQ(GetControlText(kStatusBar), "stopped...");

  for (const char* line : {"b", "a", "c"}) AddListLine(kStoryList, line);
  HWND list = Control(kStoryList);
  ASSERT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 3);
  char text[8] = {};
  SendMessageA(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "a");  // in the order added, not sorted
  EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), LB_ERR);
  AddListLine(kInputBox, "not a list");
  EXPECT_EQ(GetControlText(kInputBox), longText);

  EnableControl(kGoButton, 0);
  EXPECT_FALSE(IsWindowEnabled(Control(kGoButton)));
  EnableControl(kGoButton, 1);
  EXPECT_TRUE(IsWindowEnabled(Control(kGoButton)));

  // A control that does not exist: nothing happens, and its text is empty.
  SetControlText(99, "x");
  EnableControl(99, 0);
  AddListLine(99, "x");
  EXPECT_EQ(GetControlText(99), "");
  // An id that exists is not created twice.
  CreateControl(kEditKind, "second", 0, 0, 50, 20, 0x4, kInputBox);
  EXPECT_EQ(GetControlText(kInputBox), longText);
}

TEST_F(Win32Layer, TimerTicksUntilStopped) {
  using Clock = std::chrono::steady_clock;
  auto pumpFor = [](std::chrono::milliseconds span) {
    const auto end = Clock::now() + span;
    while (Clock::now() < end) {
      PumpEvents(0);
      Sleep(5);
    }
  };
  StartWindowTimer(40, kCycleTimer);
  pumpFor(std::chrono::milliseconds(400));
  StopWindowTimer(kCycleTimer);
  const size_t ticks = EventsWithCode(kTimerEvent).size();
  EXPECT_GE(ticks, 2u) << "a repeating timer";
  pumpFor(std::chrono::milliseconds(200));
  EXPECT_EQ(EventsWithCode(kTimerEvent).size(), ticks);
  StopWindowTimer(kCycleTimer);  // disarming a disarmed timer does nothing
}

TEST_F(Win32Layer, MessageBoxIsCentredHasNoOwnerAndLeavesTheWindowWorking) {
  struct Seen {
    RECT rect = {};
    bool found = false, ownerless = false, okOnly = false, mainEnabled = false;
  } seen;
  const HWND mainWindow = Window();
  std::thread user([&] {
    HWND box = nullptr;
    for (int i = 0; i < 500 && box == nullptr; ++i) {
      box = FindWindowA("#32770", "Layer box");
      if (box == nullptr) Sleep(10);
    }
    if (box == nullptr) return;  // the main thread's check reports it
    Sleep(100);                  // let the hook move it
    seen.found = true;
    GetWindowRect(box, &seen.rect);
    seen.ownerless = GetWindow(box, GW_OWNER) == nullptr;
    auto shown = [box](int id) {
      HWND button = GetDlgItem(box, id);
      return button != nullptr && IsWindowVisible(button);
    };
    seen.okOnly = shown(IDOK) && !shown(IDCANCEL) && !shown(IDYES) && !shown(IDNO);
    seen.mainEnabled = IsWindowEnabled(mainWindow) != FALSE;
    // A click on GO while the box is open reaches the handler.
    PostMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(kGoButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(mainWindow, kGoButton)));
    Sleep(200);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  });
  ShowMessageBox("error reading file: dictonary.txt", "Layer box", 0);
  user.join();
  ASSERT_TRUE(seen.found) << "no message box appeared";
  EXPECT_TRUE(seen.ownerless);
  EXPECT_TRUE(seen.okOnly);
  EXPECT_TRUE(seen.mainEnabled);
  const int width = seen.rect.right - seen.rect.left;
  const int height = seen.rect.bottom - seen.rect.top;
  EXPECT_NEAR(seen.rect.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2, 1);
  EXPECT_NEAR(seen.rect.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 1);
  ASSERT_EQ(EventsWithCode(kCommandEvent).size(), 1u);
  EXPECT_EQ(EventsWithCode(kCommandEvent)[0].ControlId, kGoButton);
}

// Last in this file: it leaves the layer without a window.
TEST(Win32WindowNeverOpened, IsReportedAsClosedAndTheFirstWaitReturns) {
  events.clear();
  const auto notAWindow = reinterpret_cast<const void*>(static_cast<uintptr_t>(0x1234));
  OpenWindow(0, 0, 840, 400, 0x70000, notAWindow, "Never shown", RecordEvent);
  EXPECT_EQ(FindWindowA(kWindowClass, "Never shown"), nullptr);
  ASSERT_EQ(EventsWithCode(kCloseEvent).size(), 1u);
  // Something is queued, so the event loop's PumpEvents(1) cannot block for ever.
  EXPECT_NE(HIWORD(GetQueueStatus(QS_POSTMESSAGE)), 0);
  PumpEvents(1);
  CreateControl(kEditKind, "", 10, 310, 540, 40, 0x4, kInputBox);
  EXPECT_EQ(GetControlText(kInputBox), "");
}

}  // namespace
