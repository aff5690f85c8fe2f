// The fourth stage: fetches the search result page into "googleblog.htm".
#pragma once

void DownLoadFile();
