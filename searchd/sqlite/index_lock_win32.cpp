// Windows: byte-range locks (LockFileEx) on the lock file. Windows cannot turn an
// exclusive lock into a shared one in one step, so a second byte guards every
// change: a process takes the guard byte before it locks the state byte, and
// holds it while it changes from exclusive to shared, so that no other can slip
// in between. A builder holds the guard the whole time it holds the lock
// exclusively; a waiter waits on the guard.
#include <windows.h>

#include <string>
#include <utility>

#include "base/file_lock.h"
#include "base/system_error.h"
#include "base/wide_text_win32.h"
#include "searchd/sqlite/index_lock.h"

namespace talewick::search {

namespace {

constexpr DWORD kGuardByte = 0;
constexpr DWORD kStateByte = 1;

}  // namespace

struct IndexLock::State {
  HANDLE file = INVALID_HANDLE_VALUE;
  bool made = false;
  bool guard = false;   // the guard byte is held
  bool locked = false;  // the state byte is held

  bool Lock(DWORD byte, bool exclusive, bool wait) const {
    return LockFileByte(Native(), byte, exclusive ? LockShare::kExclusive : LockShare::kShared,
                        wait ? LockWait::kYes : LockWait::kNo)
               .outcome == ByteLock::Outcome::kTaken;
  }
  void Release(DWORD byte) const { UnlockFileByte(Native(), byte); }
  NativeFile Native() const { return reinterpret_cast<NativeFile>(file); }
  bool TakeState(bool exclusive) {
    if (locked || (!guard && !Lock(kGuardByte, true, false))) return false;
    guard = true;
    locked = Lock(kStateByte, exclusive, false);
    if (!locked || !exclusive) {
      Release(kGuardByte);
      guard = false;
    }
    return locked;
  }
};

IndexLock::IndexLock() : state_(std::make_unique<State>()) {}

IndexLock::~IndexLock() {
  if (state_->file != INVALID_HANDLE_VALUE) CloseHandle(state_->file);  // and its locks
}

IndexLock::Opened IndexLock::Open(const std::filesystem::path& path) {
  State& s = *state_;
  constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  s.file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShare, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  if (s.file != INVALID_HANDLE_VALUE) {
    s.made = GetLastError() != ERROR_ALREADY_EXISTS;
    // The lock file may be writable in a folder that takes no new file (the
    // index's journal): a file is made there to find out, gone when closed.
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    const HANDLE probe =
        CreateFileW((folder / L"~talewick-probe.tmp").c_str(), GENERIC_WRITE, kShare, nullptr,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
      CloseHandle(probe);
      return {Place::kWritable, {}};
    }
    return {Place::kReadOnly, LastSystemErrorText()};
  }
  std::string why = LastSystemErrorText();
  s.file = CreateFileW(path.c_str(), GENERIC_READ, kShare, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  return {s.file != INVALID_HANDLE_VALUE ? Place::kReadOnly : Place::kUnlocked, std::move(why)};
}

bool IndexLock::Made() const { return state_->made; }
bool IndexLock::TryExclusive() { return state_->TakeState(true); }
bool IndexLock::TryShared() { return state_->TakeState(false); }

bool IndexLock::WaitShared() {
  State& s = *state_;
  // A builder holds the guard until it has come down to shared.
  if (s.locked || !s.Lock(kGuardByte, true, true)) return false;
  s.locked = s.Lock(kStateByte, false, false);
  s.Release(kGuardByte);
  return s.locked;
}

void IndexLock::Downgrade() {
  State& s = *state_;
  s.Release(kStateByte);
  s.locked = s.Lock(kStateByte, false, false);
  if (s.guard) s.Release(kGuardByte);
  s.guard = false;
}

void IndexLock::Unlock() {
  State& s = *state_;
  if (s.locked) s.Release(kStateByte);
  if (s.guard) s.Release(kGuardByte);
  s.locked = s.guard = false;
}

}  // namespace talewick::search
