// The URL download on Linux, through libcurl. The body goes to a temporary file
// beside the target and is renamed over it only when the whole transfer passed
// every check, so a failed or cut download leaves the earlier page in place.
#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "query/url_download.h"

namespace talewick {

namespace {

constexpr int kDownloadFailed = 1;

struct CurlCleanup {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using CurlHandle = std::unique_ptr<CURL, CurlCleanup>;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// The temporary page file; removed when it goes out of scope unless it has
// become the target.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (!renamed_) std::remove(path_.c_str());
  }
  const std::string& path() const { return path_; }
  bool RenameTo(const std::string& target) {
    renamed_ = std::rename(path_.c_str(), target.c_str()) == 0;
    return renamed_;
  }

 private:
  std::string path_;
  bool renamed_ = false;
};

struct BodySink {
  std::FILE* file;
  long long written;
  long long limit;
  bool failed;  // too large, or the disk refused the bytes
};

// The size limit is counted here: CURLOPT_MAXFILESIZE_LARGE only acts on a
// declared Content-Length, not on a chunked or close-delimited body.
size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<BodySink*>(user);
  const size_t bytes = size * count;
  if (sink->written + static_cast<long long>(bytes) > sink->limit ||
      std::fwrite(data, 1, bytes, sink->file) != bytes) {
    sink->failed = true;
    return 0;  // anything but `bytes` ends the transfer with CURLE_WRITE_ERROR
  }
  sink->written += static_cast<long long>(bytes);
  return bytes;
}

// The stall time-out: libcurl has only a time-out for the whole transfer and a
// speed limit averaged over seconds, so the progress callback, called about once
// a second while nothing arrives, watches for the next byte itself.
struct StallWatch {
  using Clock = std::chrono::steady_clock;
  std::chrono::milliseconds limit;
  curl_off_t received = 0;
  Clock::time_point lastReceived = Clock::now();
};

int WatchForStall(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
  auto* watch = static_cast<StallWatch*>(user);
  const auto now = StallWatch::Clock::now();
  if (received != watch->received) {
    watch->received = received;
    watch->lastReceived = now;
  }
  return now - watch->lastReceived >= watch->limit ? 1 : 0;  // 1 ends the transfer
}

bool CurlReady() {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ready;
}

void ApplyOptions(CURL* curl, const std::string& wireUrl, const DownloadLimits& limits,
                  BodySink& sink, StallWatch& stall) {
  curl_easy_setopt(curl, CURLOPT_URL, wireUrl.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
  // No signals: time-outs must work on any thread and never disturb the program.
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  // Without this limit libcurl follows redirects for ever.
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, static_cast<long>(limits.maxRedirects));
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectTimeoutMs));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.totalTimeoutMs));
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, WatchForStall);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &stall);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBodyBytes));
  // A proxy from the environment is used for the search service, never for this machine.
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Talewick/0.2");
}

}  // namespace

int UrlDownloadToFile(std::string_view url, std::string_view path) {
  if (!IsHttpUrl(url) || path.empty() || !CurlReady()) return kDownloadFailed;
  CurlHandle curl(curl_easy_init());
  if (!curl) return kDownloadFailed;

  TemporaryFile temporary(TemporaryDownloadPath(path));
  // Whatever stands under the temporary name is a leftover: it is removed, and
  // the file is created anew ("x": never through a link into another file, never
  // onto a named pipe, which would block the open).
  std::remove(temporary.path().c_str());
  FileHandle file(std::fopen(temporary.path().c_str(), "wbx"));
  if (!file) return kDownloadFailed;

  const DownloadLimits limits = CurrentDownloadLimits();
  const std::string wireUrl = EscapeUrlForWire(url);
  BodySink sink{file.get(), 0, limits.maxBodyBytes, false};
  StallWatch stall{std::chrono::milliseconds(limits.stallTimeoutMs)};
  ApplyOptions(curl.get(), wireUrl, limits, sink, stall);

  const CURLcode result = curl_easy_perform(curl.get());
  long status = 0;
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
  // Checked here rather than with CURLOPT_FAILONERROR, which lets 401 and 407 through.
  // Only a 2xx answer is the page; a 3xx at the end is a redirect that was not followed.
  bool complete = result == CURLE_OK && !sink.failed && status >= 200 && status < 300;
  if (std::fclose(file.release()) != 0) complete = false;
  if (!complete) return kDownloadFailed;
  return temporary.RenameTo(std::string(path)) ? 0 : kDownloadFailed;
}

}  // namespace talewick
