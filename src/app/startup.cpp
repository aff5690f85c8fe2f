// Start-up, the event loop and shutdown, shared by the Linux and Windows entry
// points: the start values of the state record, the main window and its five
// controls, then events until a close request.
#include "app/startup.h"

#include "app/event_handler.h"
#include "core/debug_log.h"
#include "core/story_state.h"
#include "query/search_url.h"
#include "text/story_folder.h"
#include "window/window_layer.h"
#include "window/window_layout.h"

namespace talewick {

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

  const WindowPlace& main = kMainWindowPlace;
  OpenWindow(main.x, main.y, main.width, main.height, kMainWindowFlags, nullptr, Story.Title,
             HandleWindowEvent);
  CreateControlAt(kEditKind, "", kInputBoxPlace, kInputBoxStyle, kInputBox);
  CreateControlAt(kButtonKind, "GO", kGoButtonPlace, kButtonStyle, kGoButton);
  CreateControlAt(kButtonKind, "STOP", kStopButtonPlace, kButtonStyle, kStopButton);
  CreateControlAt(kListKind, "", kStoryListPlace, kStoryListStyle, kStoryList);
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

}  // namespace talewick
