// The fourth stage of a cycle: fetches the search result page into
// "googleblog.htm" and checks that the file can be opened for reading.
#include "query/page_download.h"

#include "core/debug_log.h"
#include "core/story_state.h"
#include "query/url_download.h"
#include "text/text_file.h"
#include "window/window_layer.h"

void DownLoadFile() {
  DebugLog("DownLoadFile");
  SetControlText(kStatusBar, "Downloading file...");
  // The download gets copies, so nothing it does can touch the state record.
  BoundedText url{};
  BoundedText target{};
  TextCopy(url, Story.SearchUrl);
  TextCopy(target, Story.DownloadTarget);

  if (UrlDownloadToFile(url, target) != 0) {
    DebugLog("error downloading");
    SetControlText(kStatusBar, "error downloading");
    Story.KeepRunning = 0;
    return;
  }

  DebugLog("download sofar OK...");
  SetControlText(kStatusBar, "download sofar OK...");
  if (FileOpen(Story.ProbeFile, Story.DownloadTarget, "r") == 0) {
    DebugLog("all OK");
    SetControlText(kStatusBar, "download sofar OK...all OK");
    Story.KeepRunning = 1;
  } else {
    DebugLog("error creating file");
    SetControlText(kStatusBar, "error creating file");
    Story.KeepRunning = 0;
  }
  FileClose(Story.ProbeFile);
}
