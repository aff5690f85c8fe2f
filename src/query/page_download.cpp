// The fourth stage of a cycle: fetches the search result page into
// "googleblog.htm" and checks that the file can be opened for reading.
#include "query/page_download.h"

#include "core/debug_log.h"
#include "core/story_state.h"
#include "query/url_download.h"
#include "text/text_file.h"
#include "window/window_layer.h"

namespace talewick {

namespace {

void Report(const char* message) {
  DebugLog(message);
  SetControlText(kStatusBar, message);
}

}  // namespace

PageFetch FetchPage(std::string_view url, std::string_view target, TextFile& probe) {
  if (UrlDownloadToFile(url, target) != 0) return PageFetch::kDownloadFailed;
  const bool readable = FileOpen(probe, target, "r") == 0;
  FileClose(probe);
  return readable ? PageFetch::kReady : PageFetch::kUnreadable;
}

void DownLoadFile() {
  DebugLog("DownLoadFile");
  SetControlText(kStatusBar, "Downloading file...");
  // The download gets copies, so nothing it does can touch the state record.
  const BoundedText url = Story.SearchUrl;
  const BoundedText target = Story.DownloadTarget;
  const PageFetch fetched = FetchPage(url, target, Story.ProbeFile);
  if (fetched == PageFetch::kDownloadFailed) {
    Report("error downloading");
    Story.KeepRunning = 0;
    return;
  }
  Report("download sofar OK...");
  if (fetched == PageFetch::kReady) {
    DebugLog("all OK");
    SetControlText(kStatusBar, "download sofar OK...all OK");
    Story.KeepRunning = 1;
  } else {
    Report("error creating file");
    Story.KeepRunning = 0;
  }
}

}  // namespace talewick
