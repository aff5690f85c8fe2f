// The platform-independent part of the URL download: the limits in force and
// the name of the temporary file.
#include "query/url_download.h"

#include <algorithm>
#include <cstdlib>

// TALEWICK_DOWNLOAD_TIMEOUT_MS, a number of milliseconds, can only shorten the
// time-outs: end-to-end tests of servers that never answer set it. Read once, at
// the first download.
static DownloadLimits StartLimits() {
  DownloadLimits limits;
  const char* text = std::getenv("TALEWICK_DOWNLOAD_TIMEOUT_MS");
  const long ms = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
  if (ms > 0 && ms < limits.totalTimeoutMs) {
    limits.totalTimeoutMs = static_cast<int>(ms);
    limits.connectTimeoutMs = std::min(limits.connectTimeoutMs, limits.totalTimeoutMs);
    limits.stallTimeoutMs = std::min(limits.stallTimeoutMs, limits.totalTimeoutMs);
  }
  return limits;
}

DownloadLimits& CurrentDownloadLimits() {
  static DownloadLimits limits = StartLimits();
  return limits;
}

std::string TemporaryDownloadPath(std::string_view path) {
  std::string temporary(path);
  temporary += ".part";
  return temporary;
}
