// Windows: CreateProcessA with standard output on an anonymous pipe, which has no
// waiting read with a time-out, so ReadSome polls it with PeekNamedPipe.
#include <windows.h>

#include <chrono>

#include "support/child_process.h"

namespace {

// One argument as the C runtime of the child splits it back out: in quotes,
// with backslashes doubled before a quote and quotes escaped.
std::string QuoteArgument(const std::string& argument) {
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

struct Handle {
  HANDLE value = INVALID_HANDLE_VALUE;
  Handle() = default;
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Reset(); }
  void Reset() {
    if (value != INVALID_HANDLE_VALUE && value != nullptr) CloseHandle(value);
    value = INVALID_HANDLE_VALUE;
  }
};

}  // namespace

struct ChildProcess::Platform {
  Handle process;
  Handle output;  // read end of the pipe
  bool ended = false;

  ~Platform() {
    if (process.value != INVALID_HANDLE_VALUE && !ended) {
      TerminateProcess(process.value, 1);
      WaitForSingleObject(process.value, 10'000);
    }
  }
};

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& errorFile)
    : platform_(std::make_unique<Platform>()) {
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  Handle childOutput;
  if (!CreatePipe(&platform_->output.value, &childOutput.value, &inherited, 0)) return;
  SetHandleInformation(platform_->output.value, HANDLE_FLAG_INHERIT, 0);
  Handle childError;
  childError.value = CreateFileA(errorFile.c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherited,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  Handle childInput;
  childInput.value = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inherited, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (childError.value == INVALID_HANDLE_VALUE || childInput.value == INVALID_HANDLE_VALUE) return;

  std::string commandLine = QuoteArgument(program);
  for (const std::string& argument : arguments) commandLine += " " + QuoteArgument(argument);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = childInput.value;
  startup.hStdOutput = childOutput.value;
  startup.hStdError = childError.value;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                      nullptr, &startup, &started)) {
    return;
  }
  CloseHandle(started.hThread);
  platform_->process.value = started.hProcess;
  // The child's ends close here, so that the pipe ends when the child does.
}

ChildProcess::~ChildProcess() = default;

bool ChildProcess::Started() const { return platform_->process.value != INVALID_HANDLE_VALUE; }

long ChildProcess::ReadSome(char* buffer, size_t capacity, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  DWORD available = 0;
  while (PeekNamedPipe(platform_->output.value, nullptr, 0, nullptr, &available, nullptr) &&
         available == 0) {
    if (std::chrono::steady_clock::now() > deadline) return -1;
    Sleep(10);
  }
  if (available == 0) return 0;  // the pipe is broken: the child has ended
  DWORD received = 0;
  const DWORD wanted = available < capacity ? available : static_cast<DWORD>(capacity);
  if (!ReadFile(platform_->output.value, buffer, wanted, &received, nullptr)) return 0;
  return static_cast<long>(received);
}

std::optional<int> ChildProcess::Wait(int timeoutMs) {
  if (!Started() || platform_->ended) return std::nullopt;
  platform_->ended = true;
  if (WaitForSingleObject(platform_->process.value, static_cast<DWORD>(timeoutMs)) !=
      WAIT_OBJECT_0) {
    TerminateProcess(platform_->process.value, 1);
    WaitForSingleObject(platform_->process.value, 10'000);
    return std::nullopt;
  }
  DWORD status = 0;
  GetExitCodeProcess(platform_->process.value, &status);
  return static_cast<int>(status);
}
