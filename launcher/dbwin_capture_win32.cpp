// OutputDebugStringA, when no debugger is attached, copies the string into the
// shared memory "DBWIN_BUFFER" (the sender's process id, then the text) once
// "DBWIN_BUFFER_READY" is set, and sets "DBWIN_DATA_READY". Only one monitor can
// own the events: with another one running, the strings go to that one.
#include "dbwin_capture_win32.h"

#include <atomic>
#include <cstring>
#include <thread>

namespace talewick {

namespace {

constexpr DWORD kBufferSize = 4096;

struct Handle {
  HANDLE value = nullptr;
  Handle() = default;
  explicit Handle(HANDLE h) : value(h) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (value != nullptr) CloseHandle(value);
  }
};

struct View {
  void* address = nullptr;
  View() = default;
  View(const View&) = delete;
  View& operator=(const View&) = delete;
  ~View() {
    if (address != nullptr) UnmapViewOfFile(address);
  }
};

}  // namespace

struct DbwinState {
  Handle bufferReady;
  Handle dataReady;
  Handle mapping;
  View view;
  Handle stop;
  HANDLE log = nullptr;
  std::atomic<DWORD> pid{0};
  std::thread thread;

  void WriteOne() {
    const char* data = static_cast<const char*>(view.address);
    DWORD sender;
    std::memcpy(&sender, data, sizeof sender);
    if (sender != pid.load()) return;
    const char* text = data + sizeof sender;
    std::string line(text, strnlen(text, kBufferSize - sizeof sender));
    line += "\r\n";
    DWORD written = 0;
    WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }

  void Run() {
    const HANDLE waits[] = {dataReady.value, stop.value};
    for (;;) {
      SetEvent(bufferReady.value);
      // WaitForMultipleObjects reports the first signalled handle: a string
      // sent just before the stop is still written.
      const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
      if (woke != WAIT_OBJECT_0) return;
      WriteOne();
    }
  }
};

DbwinCapture::DbwinCapture() : state_(std::make_unique<DbwinState>()) {}

DbwinCapture::~DbwinCapture() {
  if (!state_->thread.joinable()) return;
  // A string the program sent before it ended has set DBWIN_DATA_READY already,
  // and wins over the stop (see Run).
  SetEvent(state_->stop.value);
  state_->thread.join();
}

bool DbwinCapture::Start(HANDLE log) {
  DbwinState& s = *state_;
  s.bufferReady.value = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
  if (s.bufferReady.value == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) return false;
  s.dataReady.value = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
  if (s.dataReady.value == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) return false;
  s.mapping.value = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                       kBufferSize, L"DBWIN_BUFFER");
  if (s.mapping.value == nullptr) return false;
  s.view.address = MapViewOfFile(s.mapping.value, FILE_MAP_READ, 0, 0, kBufferSize);
  s.stop.value = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (s.view.address == nullptr || s.stop.value == nullptr) return false;
  s.log = log;
  s.thread = std::thread([&s] { s.Run(); });
  return true;
}

void DbwinCapture::Follow(DWORD pid) { state_->pid = pid; }

}  // namespace talewick
