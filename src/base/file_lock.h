// Locks on one byte of an open file, the one lock primitive of the programs (the
// story folder's lock, the index's lock). A lock is held by the open file, not
// by the process or thread: it goes when the file is closed, however the process
// ends, and a program started meanwhile never holds it. Bytes past the file's end
// may be locked. One implementation per platform: file_lock_posix.cpp (locks of
// the open file description, so that two opens in one process exclude each other
// as two processes do) and file_lock_win32.cpp (LockFileEx).
#pragma once

#include <cstdint>

namespace talewick {

// An open file as the system knows it: a descriptor, or a HANDLE on Windows.
using NativeFile = std::intptr_t;

enum class LockShare { kShared, kExclusive };
enum class LockWait { kNo, kYes };

struct ByteLock {
  enum class Outcome { kTaken, kHeldElsewhere, kFailed };
  Outcome outcome;
  int error = 0;  // for kFailed, the system's code (SystemErrorText)
};

// Takes the lock of byte `offset` of `file`; with LockWait::kYes, waits while
// another holds it.
ByteLock LockFileByte(NativeFile file, std::uint64_t offset, LockShare share, LockWait wait);

// Lets go of this file's lock of byte `offset`.
void UnlockFileByte(NativeFile file, std::uint64_t offset);

}  // namespace talewick
