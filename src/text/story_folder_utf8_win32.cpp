// Windows, for the launcher and the search service: the story-folder rule's
// platform part over the wide calls, every path UTF-8 (story_folder_win32.cpp is
// the window program's, over the ANSI ones, for the same folders).
#include <windows.h>

#include <string>

#include "base/user_folders.h"
#include "base/utf8_system.h"
#include "base/wide_text_win32.h"
#include "text/os_file.h"
#include "text/story_folder.h"

namespace talewick {

std::string OsExecutablePath() {
  // Asked again with more room while the answer fills the buffer (it is then cut).
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return Utf8FromWide(std::wstring_view(path.data(), length));
    if (path.size() >= 32768) return {};  // longer than any path the system has
    path.resize(path.size() * 2);
  }
}

char OsPathSeparator() { return '\\'; }

std::string UserStoryFolderPath() {
  const std::string roaming = FolderNamedBy("APPDATA");
  return roaming.empty() ? roaming : roaming + "Talewick\\";
}

std::string_view UserFolderVariables() { return "APPDATA"; }

std::string ShippedWordListPath(const std::string& programFolder) {
  return programFolder + "dictionary.txt";
}

bool MakeFolder(const std::string& folder) {
  const std::wstring wide = WideFromUtf8(folder);
  CreateDirectoryW(wide.c_str(), nullptr);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Found out by making a file, as story_folder_win32.cpp does, and for the same
// reasons.
bool CanCreateFilesIn(const std::string& folder) {
  const std::wstring probe =
      WideFromUtf8(folder) + L"~tw" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
  HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesW(WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void CopyIntoPlace(const std::string& source, const std::string& target) {
  const std::wstring part = WideFromUtf8(target + ".part");
  // The copy is the user's to edit even when the shipped file is read-only.
  const bool copied =
      CopyFileW(WideFromUtf8(source).c_str(), part.c_str(), FALSE) &&
      SetFileAttributesW(part.c_str(), FILE_ATTRIBUTE_NORMAL) &&
      MoveFileExW(part.c_str(), WideFromUtf8(target).c_str(), MOVEFILE_REPLACE_EXISTING);
  if (!copied) DeleteFileW(part.c_str());
}

}  // namespace talewick
