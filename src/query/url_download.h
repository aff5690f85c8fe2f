// Fetches a URL into a file, synchronously: one result, 0 when the file now holds
// the page. One implementation per platform (url_download_curl.cpp,
// url_download_win32.cpp); the shared part, with the URL escaping, is in
// url_download.cpp.
//
// On the wire every byte that cannot stand in a URL is percent-encoded (the
// caller's URL may hold literal spaces). Only a 2xx answer is the page: HTTP
// statuses of 400 and more fail, and so does a redirect that was not followed;
// only http and https, at most 5 redirects, bodies over 8 MiB are refused. A
// download that receives nothing for the stall time-out gives up; one that keeps
// receiving may run up to the total time-out. The page goes to a temporary file
// beside `path` and replaces `path` only when complete, so a failed download
// leaves the earlier file untouched.
#pragma once

#include <string>
#include <string_view>

namespace talewick {

struct DownloadLimits {
  int connectTimeoutMs = 15'000;
  int totalTimeoutMs = 60'000;
  int stallTimeoutMs = 15'000;  // the longest wait for the next byte of the page
  long long maxBodyBytes = 8LL * 1024 * 1024;
  int maxRedirects = 5;
};

// The limits in force; tests shorten the time-outs. The environment variable
// TALEWICK_DOWNLOAD_TIMEOUT_MS (milliseconds) shortens all three for a whole run.
DownloadLimits& CurrentDownloadLimits();

int UrlDownloadToFile(std::string_view url, std::string_view path);

// The temporary file that receives the page before it replaces `path`: in the
// same folder, so that the final rename never crosses file systems.
std::string TemporaryDownloadPath(std::string_view path);

// On the wire: a URL as the program stores it (literal spaces and all) becomes
// one that can be sent; bytes that cannot stand in a URL are percent-encoded.
// Percent-encodes control bytes, space, bytes above 127 and " # < > \ ^ ` { | },
// and a '%' that does not start a %XX sequence; existing %XX sequences stay as
// they are, so an already encoded URL is sent unchanged.
std::string EscapeUrlForWire(std::string_view url);

// True when the URL starts with "http://" or "https://" (scheme in any case).
bool IsHttpUrl(std::string_view url);

}  // namespace talewick
