// Windows: LockFileEx, whose locks belong to the open handle.
#include <windows.h>

#include "base/file_lock.h"

namespace talewick {

namespace {

HANDLE HandleOf(NativeFile file) { return reinterpret_cast<HANDLE>(file); }

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

}  // namespace

ByteLock LockFileByte(NativeFile file, std::uint64_t offset, LockShare share, LockWait wait) {
  OVERLAPPED at = At(offset);
  const DWORD flags = (share == LockShare::kExclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) |
                      (wait == LockWait::kYes ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
  if (LockFileEx(HandleOf(file), flags, 0, 1, 0, &at)) return {ByteLock::Outcome::kTaken, 0};
  const DWORD error = GetLastError();
  if (error == ERROR_LOCK_VIOLATION) return {ByteLock::Outcome::kHeldElsewhere, 0};
  return {ByteLock::Outcome::kFailed, static_cast<int>(error)};
}

void UnlockFileByte(NativeFile file, std::uint64_t offset) {
  OVERLAPPED at = At(offset);
  UnlockFileEx(HandleOf(file), 0, 1, 0, &at);
}

}  // namespace talewick
