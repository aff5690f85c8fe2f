// Win32 children: CreateProcessW, with a wide command line, into a job object
// that ends every child when the launcher ends, however it ends; Ctrl-C or a
// closed console ends the job too. talewick.exe's debug lines are taken from the
// DBWIN buffer. Every path and argument is UTF-8 until it meets the system.
#include <windows.h>

#include <algorithm>
#include <atomic>

#include "base/system_error.h"
#include "base/wide_text_win32.h"
#include "dbwin_capture_win32.h"
#include "process.h"

namespace talewick {

const char* const kExecutableSuffix = ".exe";

namespace {

HANDLE job = nullptr;  // lives as long as the launcher: its end closes the job
std::atomic<bool> stopRequested{false};

BOOL WINAPI EndChildrenOnConsoleEvent(DWORD) {
  stopRequested = true;
  if (job != nullptr) TerminateJobObject(job, 1);
  return TRUE;
}

struct Handle {
  HANDLE value = nullptr;
  Handle() = default;
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Reset(); }
  void Reset(HANDLE next = nullptr) {
    if (value != nullptr && value != INVALID_HANDLE_VALUE) CloseHandle(value);
    value = next;
  }
  HANDLE Release() {
    HANDLE held = value;
    value = nullptr;
    return held;
  }
};

// One argument as CommandLineToArgvW reads it back: quoted, with the
// backslashes before a quote doubled.
void AppendQuoted(std::string& line, const std::string& word) {
  if (!line.empty()) line += ' ';
  line += '"';
  size_t backslashes = 0;
  for (const char c : word) {
    if (c == '\\') {
      ++backslashes;
    } else {
      if (c == '"') line.append(backslashes + 1, '\\');
      backslashes = 0;
    }
    line += c;
  }
  line.append(backslashes, '\\');
  line += '"';
}

SECURITY_ATTRIBUTES Inheritable() { return {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE}; }

// The exit code of the process once it has ended, waiting at most `ms` for
// that; nothing while it runs.
std::optional<int> AwaitEnd(Handle& process, DWORD ms) {
  if (process.value == nullptr) return 0;
  if (WaitForSingleObject(process.value, ms) == WAIT_TIMEOUT) return std::nullopt;
  DWORD code = 1;
  GetExitCodeProcess(process.value, &code);
  process.Reset();
  return static_cast<int>(code);
}

}  // namespace

struct ChildState {
  Handle process;
  DWORD id = 0;
  Handle output;
  Handle log;
  std::string pending;  // output read but not yet returned as a line
  DbwinCapture capture;
};

Child::Child() : state_(std::make_unique<ChildState>()) {}

Child::~Child() { Stop(); }

bool Child::Start(const ChildOptions& options, std::string& error) {
  ChildState& s = *state_;
  SECURITY_ATTRIBUTES inherit = Inheritable();
  s.log.Reset(CreateFileW(WideFromUtf8(options.logPath).c_str(), GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (s.log.value == INVALID_HANDLE_VALUE) {
    error = "cannot write " + options.logPath + ": " + LastSystemErrorText();
    return false;
  }
  Handle input;
  input.Reset(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                          OPEN_EXISTING, 0, nullptr));
  Handle outputWrite;
  if (options.readOutput) {
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
      error = LastSystemErrorText();
      return false;
    }
    s.output.Reset(readEnd);
    outputWrite.Reset(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  }
  // Strings sent before the capture started would be lost: it starts first.
  if (options.debugChannel && !s.capture.Start(s.log.value)) {
    const char note[] = "(another debug monitor is running: it has the debug lines)\r\n";
    DWORD written = 0;
    WriteFile(s.log.value, note, sizeof note - 1, &written, nullptr);
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.value;
  startup.hStdOutput = options.readOutput ? outputWrite.value : GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = s.log.value;
  std::string line;
  for (const std::string& word : options.command) AppendQuoted(line, word);
  std::wstring wideLine = WideFromUtf8(line);
  PROCESS_INFORMATION created{};
  // Suspended until it is in the job; no console window for the service.
  if (!CreateProcessW(WideFromUtf8(options.command[0]).c_str(), wideLine.data(), nullptr, nullptr,
                      TRUE, CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                      &created)) {
    error = LastSystemErrorText();
    return false;
  }
  s.process.Reset(created.hProcess);
  s.id = created.dwProcessId;
  if (job != nullptr) AssignProcessToJobObject(job, created.hProcess);
  s.capture.Follow(created.dwProcessId);
  ResumeThread(created.hThread);
  CloseHandle(created.hThread);
  return true;
}

Child::Line Child::ReadLine(std::chrono::milliseconds timeout, std::string& line) {
  ChildState& s = *state_;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const size_t end = s.pending.find('\n');
    if (end != std::string::npos) {
      line = s.pending.substr(0, end);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      s.pending.erase(0, end + 1);
      return Line::kRead;
    }
    if (s.output.value == nullptr) return Line::kEnded;
    // An anonymous pipe cannot be waited on: it is looked at a few times a second.
    DWORD available = 0;
    if (!PeekNamedPipe(s.output.value, nullptr, 0, nullptr, &available, nullptr)) {
      s.output.Reset();
      return Line::kEnded;
    }
    if (available == 0) {
      if (std::chrono::steady_clock::now() >= deadline) return Line::kTimedOut;
      Sleep(50);
      continue;
    }
    char buffer[4096];
    DWORD got = 0;
    if (!ReadFile(s.output.value, buffer, available < sizeof buffer ? available : sizeof buffer,
                  &got, nullptr) ||
        got == 0) {
      s.output.Reset();
      return Line::kEnded;
    }
    s.pending.append(buffer, got);
  }
}

int Child::Wait() { return AwaitEnd(state_->process, INFINITE).value_or(1); }

std::optional<int> Child::Wait(std::chrono::milliseconds timeout) {
  // INFINITE is the largest DWORD: no time-out may reach it.
  return AwaitEnd(state_->process,
                  static_cast<DWORD>(std::clamp<long long>(timeout.count(), 0, INFINITE - 1)));
}

void Child::Stop() {
  ChildState& s = *state_;
  if (s.process.value == nullptr) return;
  // The service keeps nothing that needs a clean end; Windows has no polite
  // way to ask a console program without a console.
  TerminateProcess(s.process.value, 1);
  AwaitEnd(s.process, 5000);
  s.process.Reset();
}

long Child::Id() const {
  return state_->process.value != nullptr ? static_cast<long>(state_->id) : 0;
}

void StopChildrenWithLauncher() {
  job = CreateJobObjectW(nullptr, nullptr);
  if (job != nullptr) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  }
  SetConsoleCtrlHandler(EndChildrenOnConsoleEvent, TRUE);
}

bool StopRequested() { return stopRequested; }

void SetChildEnvironment(const char* name, const std::string& value) {
  SetEnvironmentVariableW(WideFromUtf8(name).c_str(), WideFromUtf8(value).c_str());
}

}  // namespace talewick
