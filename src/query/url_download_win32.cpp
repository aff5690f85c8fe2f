// The URL download on Windows, through urlmon's URLDownloadToFileA.
//
// urlmon reports success for 404 and 500 and writes the error page, so a bind
// status callback reads the HTTP status (IHttpNegotiate::OnResponse) and
// enforces the redirect, size and time limits from OnProgress; only a 2xx
// answer counts as the page. A server that stalls never calls OnProgress, so the
// download runs on a worker thread and the caller stops waiting at the deadline,
// or once no data has been reported for the stall time-out (urlmon reports none
// until it has enough of the page to tell its type); an abandoned worker cleans
// up its own temporary file when it finally ends. The page replaces the target
// only when the whole transfer passed every check.
#include <urlmon.h>
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "query/url_download.h"

namespace talewick {

namespace {

constexpr int kDownloadFailed = 1;
// Grace for the worker to report after its own deadline has passed.
constexpr int kWorkerGraceMs = 2'000;

// Owns one reference to a COM object.
template <typename T>
class ComRef {
 public:
  explicit ComRef(T* object) : object_(object) {}
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() {
    if (object_ != nullptr) object_->Release();
  }
  T* get() const { return object_; }
  T* operator->() const { return object_; }

 private:
  T* object_;
};

// COM for the calling thread, released only when this call started it.
class ComApartment {
 public:
  ComApartment() : started_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (started_) CoUninitialize();
  }

 private:
  bool started_;
};

bool IsHttpUrlWide(LPCWSTR url) {
  if (url == nullptr) return false;
  std::string narrow;
  for (; *url != L'\0' && narrow.size() < 8; ++url) narrow += static_cast<char>(*url & 0x7F);
  return IsHttpUrl(narrow);
}

// Watches one transfer: the final HTTP status, redirects, bytes and time.
class DownloadCallback final : public IBindStatusCallback, public IHttpNegotiate {
 public:
  DownloadCallback(const DownloadLimits& limits, const std::atomic<bool>& abandoned,
                   std::atomic<ULONGLONG>& lastReceived)
      : limits_(limits),
        abandoned_(abandoned),
        lastReceived_(lastReceived),
        deadline_(GetTickCount64() + static_cast<ULONGLONG>(limits.totalTimeoutMs)) {}

  DWORD status() const { return status_; }
  bool refused() const { return refused_; }
  ULONG expectedBytes() const { return expectedBytes_; }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IBindStatusCallback)) {
      *object = static_cast<IBindStatusCallback*>(this);
    } else if (IsEqualIID(iid, IID_IHttpNegotiate)) {
      *object = static_cast<IHttpNegotiate*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // IBindStatusCallback
  STDMETHODIMP OnStartBinding(DWORD, IBinding*) override { return S_OK; }
  STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
  STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
  STDMETHODIMP OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                          LPCWSTR statusText) override {
    if (abandoned_ || GetTickCount64() > deadline_) return Refuse();
    // Windows reports each redirect; Wine's urlmon only shows each new request.
    if (statusCode == BINDSTATUS_REDIRECTING) {
      if (++redirects_ > limits_.maxRedirects || !IsHttpUrlWide(statusText)) return Refuse();
    }
    if (statusCode == BINDSTATUS_SENDINGREQUEST && ++requests_ > limits_.maxRedirects + 1) {
      return Refuse();
    }
    if (statusCode == BINDSTATUS_BEGINDOWNLOADDATA || statusCode == BINDSTATUS_DOWNLOADINGDATA ||
        statusCode == BINDSTATUS_ENDDOWNLOADDATA) {
      lastReceived_ = GetTickCount64();
      expectedBytes_ = progressMax;
      const auto limit = static_cast<unsigned long long>(limits_.maxBodyBytes);
      if (progress > limit || progressMax > limit) return Refuse();
    }
    return S_OK;
  }
  STDMETHODIMP OnStopBinding(HRESULT, LPCWSTR) override { return S_OK; }
  STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO* info) override {
    // A fresh page every cycle: never the cached copy, and nothing written to the cache.
    *flags =
        BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE | BINDF_PRAGMA_NO_CACHE | BINDF_RESYNCHRONIZE;
    const DWORD size = info->cbSize;
    ZeroMemory(info, size);
    info->cbSize = size;
    info->dwBindVerb = BINDVERB_GET;
    return S_OK;
  }
  STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return S_OK; }
  STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

  // IHttpNegotiate
  STDMETHODIMP BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* extraHeaders) override {
    if (extraHeaders != nullptr) *extraHeaders = nullptr;
    return S_OK;
  }
  STDMETHODIMP OnResponse(DWORD code, LPCWSTR, LPCWSTR, LPWSTR* extraHeaders) override {
    if (extraHeaders != nullptr) *extraHeaders = nullptr;
    status_ = code;
    return S_OK;
  }

 private:
  HRESULT Refuse() {
    refused_ = true;
    return E_ABORT;
  }

  std::atomic<ULONG> references_{1};
  const DownloadLimits limits_;
  const std::atomic<bool>& abandoned_;
  std::atomic<ULONGLONG>& lastReceived_;  // when data last came, for the caller's stall watch
  const ULONGLONG deadline_;
  DWORD status_ = 0;
  int redirects_ = 0;
  int requests_ = 0;
  ULONG expectedBytes_ = 0;
  bool refused_ = false;
};

long long FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// One download, shared by the caller and the worker thread that runs it.
struct Attempt {
  std::string wireUrl;
  std::string temporaryPath;
  DownloadLimits limits;
  std::atomic<bool> abandoned{false};
  std::atomic<ULONGLONG> lastReceived{GetTickCount64()};
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  bool complete = false;
};

// Runs on the worker: fetches into the temporary file and checks the result.
bool FetchIntoTemporaryFile(Attempt& attempt) {
  ComApartment apartment;
  // urlmon would otherwise answer from its cache instead of asking the server.
  DeleteUrlCacheEntryA(attempt.wireUrl.c_str());
  ComRef<DownloadCallback> callback(
      new DownloadCallback(attempt.limits, attempt.abandoned, attempt.lastReceived));
  const HRESULT result = URLDownloadToFileA(nullptr, attempt.wireUrl.c_str(),
                                            attempt.temporaryPath.c_str(), 0, callback.get());
  // Only a 2xx answer is the page: urlmon also "succeeds" with an error page, and
  // with the answer of a redirect it would not follow (to file: or ftp:).
  const DWORD status = callback->status();
  if (result != S_OK || callback->refused() || status < 200 || status >= 300) return false;
  const long long size = FileSize(attempt.temporaryPath);
  // A connection cut before the declared length still ends "successfully" in urlmon.
  const auto expected = static_cast<long long>(callback->expectedBytes());
  return size >= 0 && size <= attempt.limits.maxBodyBytes && size >= expected;
}

void RunAttempt(const std::shared_ptr<Attempt>& attempt) {
  const bool complete = FetchIntoTemporaryFile(*attempt);
  std::lock_guard lock(attempt->mutex);
  if (!complete || attempt->abandoned) DeleteFileA(attempt->temporaryPath.c_str());
  attempt->complete = complete;
  attempt->done = true;
  attempt->finished.notify_all();
}

void ApplyConnectTimeout(int timeoutMs) {
  // Process-wide: urlmon opens its own internet handles.
  DWORD value = static_cast<DWORD>(timeoutMs);
  InternetSetOptionA(nullptr, INTERNET_OPTION_CONNECT_TIMEOUT, &value, sizeof(value));
}

// Waits until the worker is done: false once the total time-out (and the
// worker's grace) has passed, or no data has come for the stall time-out.
bool WaitForWorker(Attempt& attempt) {
  const ULONGLONG deadline =
      GetTickCount64() + static_cast<ULONGLONG>(attempt.limits.totalTimeoutMs + kWorkerGraceMs);
  const auto stall = static_cast<ULONGLONG>(attempt.limits.stallTimeoutMs);
  std::unique_lock lock(attempt.mutex);
  while (!attempt.done) {
    const ULONGLONG now = GetTickCount64();
    const ULONGLONG until = std::min(deadline, attempt.lastReceived + stall);
    if (now >= until) return false;
    attempt.finished.wait_for(lock, std::chrono::milliseconds(until - now));
  }
  return true;
}

}  // namespace

int UrlDownloadToFile(std::string_view url, std::string_view path) {
  if (!IsHttpUrl(url) || path.empty()) return kDownloadFailed;
  static std::atomic<unsigned> attemptNumber{0};
  auto attempt = std::make_shared<Attempt>();
  attempt->wireUrl = EscapeUrlForWire(url);
  // A name of its own, so that an abandoned worker never meets a later attempt.
  attempt->temporaryPath = TemporaryDownloadPath(path) + std::to_string(++attemptNumber);
  attempt->limits = CurrentDownloadLimits();
  ApplyConnectTimeout(attempt->limits.connectTimeoutMs);

  try {
    std::thread(RunAttempt, attempt).detach();
  } catch (const std::system_error&) {
    return kDownloadFailed;  // no thread to be had: a failed download, not a crash
  }
  if (!WaitForWorker(*attempt)) {
    attempt->abandoned = true;  // the worker removes its file when it ends
    return kDownloadFailed;
  }
  if (!attempt->complete) return kDownloadFailed;
  const std::string target(path);
  if (!MoveFileExA(attempt->temporaryPath.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileA(attempt->temporaryPath.c_str());
    return kDownloadFailed;
  }
  return 0;
}

}  // namespace talewick
