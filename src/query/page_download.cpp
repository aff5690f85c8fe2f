// Placeholder so the tree builds; the real implementation replaces this file.
#include "query/page_download.h"
void DownLoadFile() {}
