// The platform-independent part of the URL download: the limits in force, the
// name of the temporary file and the percent-encoding of the bytes that may not
// appear in a URL on the wire.
#include "query/url_download.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "base/percent_encoding.h"

namespace talewick {

namespace {

// TALEWICK_DOWNLOAD_TIMEOUT_MS, a number of milliseconds, can only shorten the
// time-outs: end-to-end tests of servers that never answer set it. Read once, at
// the first download.
DownloadLimits StartLimits() {
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

}  // namespace

DownloadLimits& CurrentDownloadLimits() {
  static DownloadLimits limits = StartLimits();
  return limits;
}

std::string TemporaryDownloadPath(std::string_view path) {
  std::string temporary(path);
  temporary += ".part";
  return temporary;
}

namespace {

bool MustEscape(unsigned char c) {
  if (c <= 0x20 || c >= 0x7F) return true;
  switch (c) {
    case '"':
    case '#':
    case '<':
    case '>':
    case '\\':
    case '^':
    case '`':
    case '{':
    case '|':
    case '}':
      return true;
    default:
      return false;
  }
}

// True when the text starts with `prefix`, ignoring ASCII case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

}  // namespace

std::string EscapeUrlForWire(std::string_view url) {
  // A lone '%' would make the server decode the bytes after it; "%XX" is kept.
  static const ByteSet kKept =
      BytesWhere([](unsigned char c) { return !MustEscape(c) && c != '%'; });
  return PercentEncode(url, kKept, Escapes::kKeep);
}

bool IsHttpUrl(std::string_view url) {
  return StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://");
}

}  // namespace talewick
