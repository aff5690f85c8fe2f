// Start-up, the event loop and shutdown, shared by the Linux and Windows entry
// points: the start values of the state record, the main window and its five
// controls, then events until a close request.
#include "app/startup.h"

#include "app/event_handler.h"
#include "core/debug_log.h"
#include "core/story_state.h"
#include "core/window_layer.h"
#include "query/search_service.h"

namespace {
constexpr uint32_t kMainWindowFlags = 0x70000;  // sizing border, minimize and maximize boxes
constexpr uint32_t kInputBoxStyle = 0x4;        // multi-line edit box
constexpr uint32_t kButtonStyle = 0x50000000;   // child, visible
constexpr uint32_t kStoryListStyle = 0x50B00140;
}  // namespace

void StartUp() {
  ClearStoryState();
  TextCopy(Story.Title, "Talewick 02");
  DebugLog("starting...");
  // A path cut to the text's capacity would name another file, possibly outside
  // the folder: a folder too deep for the whole path leaves the page without one
  // (every download then fails and is reported).
  const std::string resultPage = TextJoin(StartFolder(), "googleblog.htm");
  TextCopy(Story.ResultPagePath, TextLength(resultPage) <= kTextCapacity ? resultPage : "");
  TextCopy(Story.SearchUrlPrefix, SearchUrlPrefixText());
  TextCopy(Story.SearchUrlSuffix, SearchUrlSuffixText());
  Story.WindowOpen = 1;
  Story.KeepRunning = 1;

  OpenWindow(0, 0, 840, 400, kMainWindowFlags, nullptr, Story.Title, HandleWindowEvent);
  CreateControl(kEditKind, "", 10, 310, 540, 40, kInputBoxStyle, kInputBox);
  CreateControl(kButtonKind, "GO", 560, 307, 60, 20, kButtonStyle, kGoButton);
  CreateControl(kButtonKind, "STOP", 560, 330, 60, 20, kButtonStyle, kStopButton);
  CreateControl(kListKind, "", 5, 5, 825, 300, kStoryListStyle, kStoryList);
  CreateControl(kStatusKind, "Status...", 0, 0, 0, 0, 0, kStatusBar);
  SetNotifySwitches(kInputBox, 0, 1);
}

void RunEventLoop() {
  do {
    PumpEvents(1);
  } while (Story.WindowOpen != 0);
}

void ShutDown() {
  DebugLog("closing...");
  CloseWindowLayer();
}
