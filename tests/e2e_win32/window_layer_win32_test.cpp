// The Win32 window layer's own checks in a real Wine desktop, for what the
// end-to-end scenarios cannot see: the icon, the story list's order, texts
// longer than typing fits, an event nested in another, a window that never opened.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/startup.h"
#include "window/window_layer.h"
#include "window/window_layout.h"

using namespace talewick;

namespace {

constexpr char kWindowClass[] = "TalewickMainWindow";

std::vector<WindowEventRecord> events;
std::function<void()> insideNextHandler;  // runs once inside the next handler call

int RecordEvent() {
  events.push_back(WindowEvent);
  if (insideNextHandler) std::exchange(insideNextHandler, nullptr)();
  return 0;
}

TEST(Win32StartUp, LoadsTheIconAndControlsTakeWhatTheCycleGivesThem) {
  StartUp();
  HWND window = FindWindowA(kWindowClass, "Talewick 02");
  ASSERT_NE(window, nullptr);
  EXPECT_NE(reinterpret_cast<HICON>(GetClassLongPtrA(window, GCLP_HICON)),
            LoadIconA(nullptr, IDI_APPLICATION))
      << "icon 101 was not loaded";
  for (const char* line : {"b", "a", "c"}) AddListLine(kStoryList, line);
  HWND list = GetDlgItem(window, kStoryList);
  // A list that sorts would put any line added with LB_ADDSTRING out of place.
  EXPECT_EQ(GetWindowLongA(list, GWL_STYLE) & (LBS_SORT | LBS_HASSTRINGS), LBS_HASSTRINGS);
  ASSERT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 3);
  char text[8] = {};
  SendMessageA(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "a");
  const std::string longText(1000, 'x');  // more than typing fits: no cut on the way back
  SetControlText(kInputBox, longText);
  EXPECT_EQ(GetControlText(kInputBox), longText);
  SetControlText(kStatusBar, "stopped...");
  char part[16] = {};
  SendMessageA(GetDlgItem(window, kStatusBar), SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(part));
  EXPECT_STREQ(part, "stopped...");
  EnableControl(kGoButton, 0);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, kGoButton)));
  CloseWindowLayer();
}

TEST(Win32Layer, ANestedEventLeavesTheOuterOne) {
  const WindowPlace& main = kMainWindowPlace;
  OpenWindow(main.x, main.y, main.width, main.height, kMainWindowFlags, nullptr, "Layer test",
             RecordEvent);
  CreateControlAt(kButtonKind, "GO", kGoButtonPlace, kButtonStyle, kGoButton);
  HWND window = FindWindowA(kWindowClass, "Layer test");
  WindowEventRecord afterNested = {};
  insideNextHandler = [&] {
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(kGoButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, kGoButton)));
    afterNested = WindowEvent;
  };
  events.clear();
  SendMessageA(window, WM_TIMER, kCycleTimer, 0);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].EventCode, kCommandEvent);
  EXPECT_EQ(events[1].ControlId, kGoButton);
  EXPECT_EQ(afterNested.EventCode, kTimerEvent);
  CloseWindowLayer();
}

// A window that cannot be made must not leave the event loop waiting for ever.
TEST(Win32WindowNeverOpened, IsReportedAsClosedAndTheFirstWaitReturns) {
  events.clear();
  const auto notAWindow = reinterpret_cast<const void*>(static_cast<uintptr_t>(0x1234));
  const WindowPlace& main = kMainWindowPlace;
  OpenWindow(main.x, main.y, main.width, main.height, kMainWindowFlags, notAWindow, "Never shown",
             RecordEvent);
  EXPECT_EQ(FindWindowA(kWindowClass, "Never shown"), nullptr);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].EventCode, kCloseEvent);
  // Something is queued, so the event loop's PumpEvents(1) cannot block for ever.
  EXPECT_NE(HIWORD(GetQueueStatus(QS_POSTMESSAGE)), 0);
  PumpEvents(1);
}

}  // namespace
