// The main window's event handler: GO (button or Enter), STOP, the cycle timer
// and the close request, and the generation cycle that GO and the timer run.
//
// Events can arrive nested, from the cycle's own pump or from a message box that
// a stage shows. While a GO or timer path is under way, a nested GO, Enter or
// tick does nothing at all (the input box keeps its text and the outer path its
// input), and a nested STOP is remembered: the outer path then ends without
// re-arming the timer and leaves "stopped..." in the status bar.
#include "app/event_handler.h"

#include "analysis/result_analysis.h"
#include "core/debug_log.h"
#include "core/story_state.h"
#include "query/input_words.h"
#include "query/page_download.h"
#include "query/search_url.h"
#include "window/window_layer.h"

namespace talewick {

namespace {

constexpr int kGoRearmMs = 3000;
constexpr int kTimerRearmMs = 2000;

bool pathUnderWay = false;  // a GO or timer path is running
bool stopDuringPath = false;

void RunCycleStages() {
  DownloadString();
  DisectInput();
  DLFControl();
  DownLoadFile();
  SecondPartDLF();
}

// Re-arms the timer after a cycle, unless the download failed or STOP came meanwhile.
void FinishCycle(int rearmMs) {
  if (stopDuringPath) {
    SetControlText(kStatusBar, "stopped...");
  } else if (Story.KeepRunning == 1) {
    StartWindowTimer(rearmMs, kCycleTimer);
  }
}

void HandleTick() {
  StopWindowTimer(kCycleTimer);
  DebugLog("timer...");
  TextCopy(Story.InputText, TextTrimLeft(Story.NextInput));
  if (!TextEquals(TextTrimRight(Story.InputText), "")) {
    Story.KeepRunning = 1;
    EnableControl(kGoButton, 0);
    RunCycleStages();
    PumpEvents(0);
    FinishCycle(kTimerRearmMs);
  }
  EnableControl(kGoButton, 1);
}

void HandleStop() {
  DebugLog("STOP button pressed");
  SetControlText(kStatusBar, "stopped...");
  StopWindowTimer(kCycleTimer);
  if (pathUnderWay) stopDuringPath = true;
}

// Runs one path with the nesting guard around it.
template <typename Path>
void RunPath(Path path) {
  if (pathUnderWay) return;
  pathUnderWay = true;
  stopDuringPath = false;
  path();
  pathUnderWay = false;
  stopDuringPath = false;
}

}  // namespace

void HandleGo() {
  RunPath([] {
    StopWindowTimer(kCycleTimer);
    DebugLog("GO button pressed");
    TextCopy(Story.InputText, GetControlText(kInputBox));
    SetControlText(kInputBox, "");
    if (!TextEquals(Story.InputText, "")) {
      AddListLine(kStoryList, Story.InputText);
      PumpEvents(0);
      Story.KeepRunning = 1;
      EnableControl(kGoButton, 0);
      RunCycleStages();
      FinishCycle(kGoRearmMs);
    }
    EnableControl(kGoButton, 1);
  });
}

int HandleWindowEvent() {
  const WindowEventRecord event = WindowEvent;
  if (event.EventCode == kCommandEvent && event.ControlId == kInputBox &&
      event.NotifyCode == kEnterNotify) {
    HandleGo();
  }
  switch (event.EventCode) {
    case kCloseEvent:
      Story.WindowOpen = 0;
      break;
    case kCommandEvent:
      if (event.ControlId == kGoButton) HandleGo();
      if (event.ControlId == kStopButton) HandleStop();
      break;
    case kTimerEvent:
      RunPath(HandleTick);
      break;
    default:
      break;
  }
  return 0;
}

}  // namespace talewick
