// Windows: a folder whose name the ANSI code page cannot spell is given to the
// program by its short 8.3 name, which is ASCII; a volume that makes no short
// names leaves it without one. The program finds the user's folder as
// %APPDATA%\Talewick\, so that variable is what it is handed.
#include <windows.h>

#include "base/utf8_system.h"
#include "base/wide_text_win32.h"
#include "narrow_program.h"

namespace talewick {

namespace {

bool SpelledInAnsi(const std::wstring& text) {
  BOOL lost = FALSE;
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                      nullptr, 0, nullptr, &lost);
  return !lost;
}

// `path` (of a folder or file that exists), or its short form, as the ANSI code
// page can spell it; empty when neither can be.
std::string NarrowSpelling(const std::string& path) {
  const std::wstring wide = WideFromUtf8(path);
  if (SpelledInAnsi(wide)) return path;
  std::wstring shortPath(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetShortPathNameW(wide.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
    if (length == 0) return {};
    if (length < shortPath.size()) {
      shortPath.resize(length);
      break;
    }
    shortPath.resize(length);  // the room it needs, its terminator included
  }
  return SpelledInAnsi(shortPath) ? Utf8FromWide(shortPath) : std::string();
}

}  // namespace

NarrowStart PrepareNarrowProgram(const std::string& programFolder, const std::string& programName,
                                 const std::string& storyFolder) {
  const std::string folder = NarrowSpelling(programFolder);
  if (folder.empty()) return {{}, programFolder};
  if (storyFolder != programFolder && !SpelledInAnsi(WideFromUtf8(storyFolder))) {
    const std::string appData = NarrowSpelling(Utf8Environment("APPDATA"));
    if (appData.empty()) return {{}, storyFolder};
    SetEnvironmentVariableW(L"APPDATA", WideFromUtf8(appData).c_str());
  }
  return {folder + programName, {}};
}

}  // namespace talewick
