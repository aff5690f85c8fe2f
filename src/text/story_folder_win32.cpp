// Windows: the user's folders under %APPDATA% and %LOCALAPPDATA%, and the word
// list shipped beside the program.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "text/story_folder.h"

namespace talewick {

namespace {

// A full path: a drive's root (C:\) or a share (\\server\).
bool IsFullPath(const std::string& path) {
  const bool drive = path.size() >= 3 && path[1] == ':' && path[2] == '\\';
  return drive || path.starts_with("\\\\");
}

// %variable%\below\, or empty when the variable names no full path.
std::string FolderIn(const char* variable, const char* below) {
  const char* value = std::getenv(variable);
  std::string base = value != nullptr ? value : "";
  if (!IsFullPath(base)) return {};
  while (base.size() > 3 && base.back() == '\\') base.pop_back();
  if (base.back() != '\\') base += '\\';
  return base + below;
}

}  // namespace

std::string UserStoryFolderPath() { return FolderIn("APPDATA", "Talewick\\"); }

std::string_view UserFolderVariables() { return "APPDATA"; }

std::string ShippedWordListPath(const std::string& programFolder) {
  return programFolder + "dictionary.txt";
}

bool MakeFolder(const std::string& folder) {
  CreateDirectoryA(folder.c_str(), nullptr);
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A folder's read-only attribute says nothing about whether files can be made in
// it (and Wine maps Unix permissions onto file access, not onto attributes): so a
// file is made, and deleted again when its handle closes.
bool CanCreateFilesIn(const std::string& folder) {
  // No longer than the longest data file's name: a folder that fits stays
  // within MAX_PATH with it.
  char name[16];
  std::snprintf(name, sizeof name, "~tw%08lx.tmp", GetCurrentProcessId());
  const std::string probe = folder + name;
  HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void CopyIntoPlace(const std::string& source, const std::string& target) {
  const std::string part = target + ".part";
  // The copy is the user's to edit even when the shipped file is read-only.
  const bool copied = CopyFileA(source.c_str(), part.c_str(), FALSE) &&
                      SetFileAttributesA(part.c_str(), FILE_ATTRIBUTE_NORMAL) &&
                      MoveFileExA(part.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
  if (!copied) DeleteFileA(part.c_str());
}

}  // namespace talewick
