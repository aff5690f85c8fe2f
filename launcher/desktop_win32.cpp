// Windows: the launcher is a GUI-subsystem program, started from the Start menu
// or a shortcut with no console, so a failure is shown in a message box, in
// whatever letters it holds. The window of a running Talewick is found among
// the top-level windows by its process id and title.
#include <windows.h>

#include <cstdio>

#include "base/wide_text_win32.h"
#include "desktop.h"
#include "text/story_folder.h"

namespace talewick {

namespace {

constexpr const wchar_t* kMainWindowTitle = L"Talewick 02";

struct WindowSearch {
  DWORD programId;
  HWND found;
};

BOOL CALLBACK TakeIfProgramWindow(HWND window, LPARAM searchAddress) {
  auto& search = *reinterpret_cast<WindowSearch*>(searchAddress);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t title[64] = {};
  if (owner != search.programId || GetWindowTextW(window, title, 64) == 0 ||
      lstrcmpW(title, kMainWindowTitle) != 0) {
    return TRUE;
  }
  search.found = window;
  return FALSE;
}

}  // namespace

void ReportFailure(const std::string& message) {
  std::fprintf(stderr, "talewick-start: %s\n", message.c_str());
  std::fflush(stderr);
  MessageBoxW(nullptr, WideFromUtf8(message).c_str(), L"Talewick",
              MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

bool BringToFront(long programId) {
  if (programId <= 0) return false;
  WindowSearch search{static_cast<DWORD>(programId), nullptr};
  EnumWindows(TakeIfProgramWindow, reinterpret_cast<LPARAM>(&search));
  if (search.found == nullptr) return false;
  if (IsIconic(search.found)) ShowWindow(search.found, SW_RESTORE);
  // Windows lets the process the user just started take the foreground.
  SetForegroundWindow(search.found);
  return true;
}

// An installed Talewick has the installer's marker beside it; a folder without
// one was unpacked from the zip, where nothing was installed.
std::string RestoreAdvice(const std::string& programFolder) {
  return FileExists(programFolder + std::string(kInstalledMarkerName))
             ? "Install Talewick again."
             : "Unpack Talewick again from its zip, into a folder of its own.";
}

}  // namespace talewick
