// The platform-independent part of the URL download: the limits in force and
// the name of the temporary file.
#include "query/url_download.h"

DownloadLimits& CurrentDownloadLimits() {
  static DownloadLimits limits;
  return limits;
}

std::string TemporaryDownloadPath(std::string_view path) {
  std::string temporary(path);
  temporary += ".part";
  return temporary;
}
