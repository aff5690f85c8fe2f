// Checks of the Win32 window layer in a real Wine desktop: the window and the
// controls that start-up creates, the translation of messages into WindowEvent,
// the Enter/Tab watch, the control operations, the timer and the message box.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/startup.h"
#include "core/window_layer.h"

namespace {

constexpr char kWindowClass[] = "TalewickMainWindow";
constexpr char kTestCaption[] = "Layer test";

std::vector<WindowEventRecord> events;
std::function<void()> insideNextHandler;  // runs once inside the next handler call

int RecordEvent() {
  events.push_back(WindowEvent);
  if (insideNextHandler) std::exchange(insideNextHandler, nullptr)();
  return 0;
}

// (control, notify) of every event with `code`; for commands, only the Enter/Tab watch's
// (edit boxes also send their own change notices).
std::vector<std::array<int32_t, 2>> Seen(int32_t code) {
  std::vector<std::array<int32_t, 2>> found;
  for (const WindowEventRecord& event : events) {
    const bool key = event.NotifyCode == kEnterNotify || event.NotifyCode == kTabNotify;
    if (event.EventCode == code && (code != kCommandEvent || key || event.ControlId != kInputBox)) {
      found.push_back({event.ControlId, event.NotifyCode});
    }
  }
  return found;
}

std::array<LONG, 4> RectInParent(HWND control) {
  RECT rect = {};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return {rect.left, rect.top, rect.right, rect.bottom};
}

TEST(Win32StartUp, CreatesTheWindowAndTheFiveControlsAsTabled) {
  StartUp();
  HWND window = FindWindowA(kWindowClass, "Talewick 02");
  ASSERT_NE(window, nullptr);
  // The system adds sibling clipping to every top-level window.
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)) & ~WS_CLIPSIBLINGS,
            static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU |
                               WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  RECT outer = {};
  GetWindowRect(window, &outer);
  EXPECT_EQ(outer.right - outer.left, 840);
  EXPECT_EQ(outer.bottom - outer.top, 400);
  EXPECT_NE(reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICON)),
            LoadIconA(nullptr, IDI_APPLICATION))
      << "icon 101 was not loaded";

  struct Expected {
    int id;
    const char* className;
    DWORD style;
    std::array<LONG, 4> rect;
    const char* text;
  };
  const Expected controls[] = {
      {kInputBox, "Edit", ES_MULTILINE, {10, 310, 550, 350}, ""},
      {kGoButton, "Button", BS_OWNERDRAW, {560, 307, 620, 327}, "GO"},
      {kStopButton, "Button", BS_OWNERDRAW, {560, 330, 620, 350}, "STOP"},
      {kStoryList, "ListBox", LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS, {5, 5, 830, 305}, ""},
  };
  for (const Expected& expected : controls) {
    SCOPED_TRACE(expected.id);
    HWND control = GetDlgItem(window, expected.id);
    ASSERT_NE(control, nullptr);
    char name[64] = {};
    GetClassNameA(control, name, sizeof name);
    EXPECT_STRCASEEQ(name, expected.className);
    // Borders and scroll bars are the system's to show or drop.
    const DWORD shown = WS_BORDER | WS_VSCROLL | WS_HSCROLL;
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE)) | shown,
              WS_CHILD | WS_VISIBLE | expected.style | shown);
    EXPECT_EQ(RectInParent(control), expected.rect);
    EXPECT_EQ(GetControlText(expected.id), expected.text);
  }
  EXPECT_EQ(GetControlText(kStatusBar), "Status...");
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

TEST_F(Win32Layer, EnterAndTabAreCommandsOnlyWhereTheirSwitchIsOn) {
  Type(kInputBox, "the\rcat\tx");
  EXPECT_EQ(GetControlText(kInputBox), "thecat\tx");
  using Command = std::array<int32_t, 2>;
  EXPECT_EQ(Seen(kCommandEvent), (std::vector<Command>{{kInputBox, kEnterNotify}}));

  SetNotifySwitches(kInputBox, 1, 0);
  SetControlText(kInputBox, "");
  events.clear();
  Type(kInputBox, "a\tb\rc");
  EXPECT_EQ(GetControlText(kInputBox), "ab\r\nc");
  EXPECT_EQ(Seen(kCommandEvent), (std::vector<Command>{{kInputBox, kTabNotify}}));

  // The list and the status bar are watched too, buttons are not.
  events.clear();
  for (int id : {kStoryList, kStatusBar, kGoButton}) {
    SetNotifySwitches(id, 0, 1);
    Type(id, "\r");
  }
  EXPECT_EQ(Seen(kCommandEvent),
            (std::vector<Command>{{kStoryList, kEnterNotify}, {kStatusBar, kEnterNotify}}));
}

TEST_F(Win32Layer, MessagesBecomeEventsAndEachLeavesTheFieldsAsTheyWere) {
  WindowEvent.ControlId = 42;
  WindowEvent.NotifyCode = 43;
  SendMessageA(Window(), WM_CLOSE, 0, 0);
  SendMessageA(Window(), WM_COMMAND, MAKEWPARAM(77, 0), 0);
  NMHDR header = {Control(kStatusBar), kStatusBar, static_cast<UINT>(NM_CLICK)};
  SendMessageA(Window(), WM_NOTIFY, kStatusBar, reinterpret_cast<LPARAM>(&header));
  SendMessageA(Window(), WM_MOUSEMOVE, 0, MAKELPARAM(12, 34));
  WindowEventRecord afterNested = {};
  insideNextHandler = [&] {
    SendMessageA(Window(), WM_COMMAND, MAKEWPARAM(kGoButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Control(kGoButton)));
    afterNested = WindowEvent;
  };
  SendMessageA(Window(), WM_TIMER, kCycleTimer, 0);

  using Fields = std::vector<std::array<int32_t, 2>>;
  EXPECT_EQ(Seen(kCloseEvent), (Fields{{42, 43}}));
  EXPECT_EQ(Seen(kMenuEvent), (Fields{{42, 43}}));
  EXPECT_EQ(Seen(kTimerEvent), (Fields{{42, 43}}));
  EXPECT_EQ(Seen(kCommandEvent),
            (Fields{{kStatusBar, static_cast<int32_t>(NM_CLICK)}, {kGoButton, kClickedNotify}}));
  ASSERT_EQ(events.size(), 6u);
  EXPECT_EQ(events[3].EventCode, WM_MOUSEMOVE);
  EXPECT_EQ(afterNested.EventCode, kTimerEvent);
  EXPECT_EQ(WindowEvent.ControlId, 42);
  EXPECT_EQ(WindowEvent.EventCode, 0);
  EXPECT_TRUE(IsWindowVisible(Window())) << "a close request never destroys the window";
}

TEST_F(Win32Layer, ControlOperations) {
  const std::string longText(1000, 'x');
  SetControlText(kInputBox, longText);
  EXPECT_EQ(GetControlText(kInputBox), longText);
  SetControlText(kStatusBar, "stopped...");
  char part[64] = {};
  SendMessageA(Control(kStatusBar), SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(part));
  EXPECT_STREQ(part, "stopped...");

  for (const char* line : {"b", "a", "c"}) AddListLine(kStoryList, line);
  AddListLine(kInputBox, "not a list");
  HWND list = Control(kStoryList);
  ASSERT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 3);
  char text[8] = {};
  SendMessageA(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "a");  // in the order added, not sorted
  EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), LB_ERR);

  EnableControl(kGoButton, 0);
  EXPECT_FALSE(IsWindowEnabled(Control(kGoButton)));
  EnableControl(kGoButton, 1);
  EXPECT_TRUE(IsWindowEnabled(Control(kGoButton)));
  // A control that does not exist is left alone; an id that exists is not created twice.
  SetControlText(99, "x");
  EXPECT_EQ(GetControlText(99), "");
  CreateControl(kEditKind, "second", 0, 0, 50, 20, 0x4, kInputBox);
  EXPECT_EQ(GetControlText(kInputBox), longText);
}

TEST_F(Win32Layer, MessageBoxHasOnlyOkAndNoOwner) {
  bool found = false, ownerless = false, okOnly = false;
  std::thread user([&] {
    // The box is looked at once it is shown: before that its buttons read as hidden too.
    HWND box = nullptr;
    for (int i = 0; i < 500 && (box == nullptr || !IsWindowVisible(box)); ++i, Sleep(10))
      box = FindWindowA("#32770", "Layer box");
    if (box == nullptr || !IsWindowVisible(box)) return;  // the main thread's check reports it
    found = true;
    ownerless = GetWindow(box, GW_OWNER) == nullptr;
    const auto shown = [box](int id) { return IsWindowVisible(GetDlgItem(box, id)) != FALSE; };
    okOnly = shown(IDOK) && !shown(IDCANCEL) && !shown(IDYES) && !shown(IDNO);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  });
  ShowMessageBox("error reading file: dictonary.txt", "Layer box", 0);
  user.join();
  ASSERT_TRUE(found) << "no message box appeared";
  EXPECT_TRUE(ownerless);
  EXPECT_TRUE(okOnly);
}

// Last in this file: it leaves the layer without a window.
TEST(Win32WindowNeverOpened, IsReportedAsClosedAndTheFirstWaitReturns) {
  events.clear();
  const auto notAWindow = reinterpret_cast<const void*>(static_cast<uintptr_t>(0x1234));
  OpenWindow(0, 0, 840, 400, 0x70000, notAWindow, "Never shown", RecordEvent);
  EXPECT_EQ(FindWindowA(kWindowClass, "Never shown"), nullptr);
  EXPECT_EQ(Seen(kCloseEvent).size(), 1u);
  // Something is queued, so the event loop's PumpEvents(1) cannot block for ever.
  EXPECT_NE(HIWORD(GetQueueStatus(QS_POSTMESSAGE)), 0);
  PumpEvents(1);
}

}  // namespace
