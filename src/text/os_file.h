// The operating system's file service, as the text file layer needs it.
// One implementation per platform: os_file_posix.cpp and os_file_win32.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace talewick {

// A platform file handle (a POSIX descriptor or a Win32 HANDLE) kept as an integer
// so that portable headers never include platform headers.
struct OsFileHandle {
  intptr_t value;
};

enum class OsOpenMode { kRead, kWrite, kAppend };

// Opens with the access, sharing and disposition of the mode; for kAppend the
// position is at the end. False when the file could not be opened.
bool OsOpen(std::string_view path, OsOpenMode mode, OsFileHandle& handle);
// Reads up to `count` bytes at the current position; the bytes read, 0 at the
// end of the file, -1 when the read failed.
int64_t OsRead(OsFileHandle handle, char* buffer, int64_t count);
// Writes all `count` bytes with one call, or none: a write cut short at the end
// of the file is taken back. The bytes written or -1.
int64_t OsWrite(OsFileHandle handle, const char* buffer, int64_t count);
// Moves the position to `offset` from the start; false on failure.
bool OsSeek(OsFileHandle handle, int64_t offset);
// The current size of the open file, -1 when unknown.
int64_t OsSize(OsFileHandle handle);
void OsClose(OsFileHandle handle);
// Full path of the running executable, empty when unknown.
std::string OsExecutablePath();
// The platform's path separator ('/' or '\\').
char OsPathSeparator();

}  // namespace talewick
