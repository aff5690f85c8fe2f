// The fourth stage: fetches the search result page into "googleblog.htm".
#pragma once

#include <string_view>

#include "text/text_file.h"

namespace talewick {

// Reads SearchUrl and DownloadTarget; writes KeepRunning (0 when the page did not
// come, or cannot be read) and the status.
void DownLoadFile();

enum class PageFetch { kDownloadFailed, kUnreadable, kReady };

// Downloads `url` into `target`, then checks with `probe` (closed again) that the
// file can be opened for reading.
PageFetch FetchPage(std::string_view url, std::string_view target, TextFile& probe);

}  // namespace talewick
