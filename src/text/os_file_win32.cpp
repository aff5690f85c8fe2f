// The Win32 file service behind text_file.cpp: CreateFileA with the access,
// sharing and disposition of each mode and the sequential-scan hint.
#include <windows.h>

#include <string>

#include "text/os_file.h"

namespace talewick {

namespace {

HANDLE Win32Handle(OsFileHandle handle) { return reinterpret_cast<HANDLE>(handle.value); }

struct OpenParameters {
  DWORD access;
  DWORD sharing;
  DWORD disposition;
};

OpenParameters ParametersOf(OsOpenMode mode) {
  switch (mode) {
    case OsOpenMode::kRead:
      return {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING};
    case OsOpenMode::kWrite:
      return {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS};
    case OsOpenMode::kAppend:
      return {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS};
  }
  return {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING};
}

}  // namespace

bool OsOpen(std::string_view path, OsOpenMode mode, OsFileHandle& handle) {
  const std::string terminated(path);
  const OpenParameters how = ParametersOf(mode);
  HANDLE file = CreateFileA(terminated.c_str(), how.access, how.sharing, nullptr, how.disposition,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  // Zero is no usable handle either, whatever the documentation promises.
  // cppcheck-suppress knownConditionTrueFalse
  if (file == INVALID_HANDLE_VALUE || file == nullptr) return false;
  if (mode == OsOpenMode::kAppend) {
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(file, zero, nullptr, FILE_END)) {
      CloseHandle(file);
      return false;
    }
  }
  handle.value = reinterpret_cast<intptr_t>(file);
  return true;
}

int64_t OsRead(OsFileHandle handle, char* buffer, int64_t count) {
  if (count <= 0) return 0;
  const DWORD wanted = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
  DWORD got = 0;
  if (!ReadFile(Win32Handle(handle), buffer, wanted, &got, nullptr)) return -1;
  return static_cast<int64_t>(got);
}

namespace {

// Cuts the file back to `start`, where a write that failed began, so that a
// write cut short (a full disk) leaves no half line behind.
void UndoPartialWrite(HANDLE file, LARGE_INTEGER start) {
  if (SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) SetEndOfFile(file);
}

}  // namespace

int64_t OsWrite(OsFileHandle handle, const char* buffer, int64_t count) {
  // WriteFile may take only part of the bytes (a nearly full disk): carry on with
  // the rest, so the caller's one call writes all or nothing. A failed write is
  // taken back only when it began at the end of the file: then every byte after
  // its start is its own (no other program may write while the file is open).
  const HANDLE file = Win32Handle(handle);
  LARGE_INTEGER start{};
  const LARGE_INTEGER here{};
  const bool atEnd =
      SetFilePointerEx(file, here, &start, FILE_CURRENT) && OsSize(handle) == start.QuadPart;
  int64_t done = 0;
  while (done < count) {
    const int64_t left = count - done;
    const DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
    DWORD put = 0;
    if (!WriteFile(file, buffer + done, chunk, &put, nullptr) || put == 0) {
      if (atEnd) UndoPartialWrite(file, start);
      return -1;
    }
    done += put;
  }
  return done;
}

bool OsSeek(OsFileHandle handle, int64_t offset) {
  LARGE_INTEGER target;
  target.QuadPart = offset;
  return SetFilePointerEx(Win32Handle(handle), target, nullptr, FILE_BEGIN) != 0;
}

int64_t OsSize(OsFileHandle handle) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(Win32Handle(handle), &size)) return -1;
  return size.QuadPart;
}

void OsClose(OsFileHandle handle) { CloseHandle(Win32Handle(handle)); }

namespace {

// The first argument of the command line, which names the program.
std::string FirstArgument(const char* line) {
  std::string_view text = line != nullptr ? line : "";
  if (text.starts_with('"')) {
    text.remove_prefix(1);
    return std::string(text.substr(0, text.find('"')));
  }
  return std::string(text.substr(0, text.find_first_of(" \t")));
}

}  // namespace

std::string OsExecutablePath() {
  // Asked again with more room while the answer fills the buffer (it is then cut).
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    if (path.size() >= 32768) return {};  // longer than any path the system has
    path.resize(path.size() * 2);
  }
  // A folder whose name the ANSI code page cannot spell comes back with '?' in
  // it, which no path may hold. Started by a spelling it can hold (the short
  // 8.3 name, as the launcher starts it), the program goes by that one.
  if (path.find('?') == std::string::npos) return path;
  std::string named = FirstArgument(GetCommandLineA());
  const bool full =
      (named.size() > 2 && named[1] == ':' && named[2] == '\\') || named.starts_with("\\\\");
  const DWORD attributes = GetFileAttributesA(named.c_str());
  if (!full || named.find('?') != std::string::npos || attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return {};
  }
  return named;
}

char OsPathSeparator() { return '\\'; }

}  // namespace talewick
