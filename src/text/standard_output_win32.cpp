// Windows: a GUI-subsystem program started from cmd.exe or PowerShell gets no
// standard handles, yet the user is looking at that console; one started with
// its output redirected, or by Wine from a Unix shell, has a handle to write to.
#include <windows.h>

#include "text/standard_output.h"

namespace talewick {

namespace {

bool Usable(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

void WriteAll(HANDLE handle, std::string_view text) {
  while (!text.empty()) {
    DWORD written = 0;
    if (!WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written == 0) {
      return;
    }
    text.remove_prefix(written);
  }
}

// The console of the process that started this one, when it has one.
void WriteToParentConsole(std::string_view text) {
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  const HANDLE console = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
  if (console == INVALID_HANDLE_VALUE) return;
  // The console's prompt came back when the program started: the text begins on
  // a line of its own.
  WriteAll(console, "\r\n");
  WriteAll(console, text);
  CloseHandle(console);
}

}  // namespace

void WriteStandardOutput(std::string_view text) {
  const HANDLE given = GetStdHandle(STD_OUTPUT_HANDLE);
  if (Usable(given)) {
    WriteAll(given, text);
  } else {
    WriteToParentConsole(text);
  }
}

void WriteToTerminal(std::string_view text) {
  const HANDLE given = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!Usable(given)) {
    WriteToParentConsole(text);
  } else if (GetFileType(given) == FILE_TYPE_CHAR) {
    WriteAll(given, text);
  }
}

}  // namespace talewick
