// Start-up, the event loop and shutdown, shared by the Linux and Windows entry
// points: the start values of the state record, the main window and its five
// controls, then events until a close request.
#include "app/startup.h"

#include "app/event_handler.h"
#include "core/debug_log.h"
#include "core/story_state.h"
#include "core/window_layer.h"
#include "query/search_url.h"
#include "text/story_folder.h"

namespace {
constexpr uint32_t kMainWindowFlags = 0x70000;  // sizing border, minimize and maximize boxes
constexpr uint32_t kInputBoxStyle = 0x4;        // multi-line edit box
constexpr uint32_t kButtonStyle = 0x50000000;   // child, visible
constexpr uint32_t kStoryListStyle = 0x50B00140;
}  // namespace

bool StartUp() {
  ClearStoryState();
  TextCopy(Story.Title, "Talewick 02");
  DebugLog("starting...");
  // Without a story folder every file would have to be found in whatever the
  // current folder happens to be: the user is told instead, before any window.
  const StoryFolderChoice& story = StoryFolder();
  if (story.folder.empty()) {
    ShowMessageBox(story.problem, Story.Title.view(), 0);
    return false;
  }
  // Every data file is named once, here; the folder leaves room for the longest name.
  UseStoryFolder(story.folder);
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
  return true;
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
