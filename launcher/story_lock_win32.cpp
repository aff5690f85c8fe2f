// Windows: the lock file's handle is not inheritable, so that the programs the
// launcher starts never hold the lock.
#include <windows.h>

#include <cstdlib>

#include "base/file_lock.h"
#include "base/system_error.h"
#include "base/wide_text_win32.h"
#include "story_lock.h"

namespace talewick {

namespace {

OVERLAPPED At(DWORD offset) {
  OVERLAPPED at{};
  at.Offset = offset;
  return at;
}

}  // namespace

struct StoryLockState {
  HANDLE file = INVALID_HANDLE_VALUE;
};

StoryLock::StoryLock() : state_(std::make_unique<StoryLockState>()) {}

StoryLock::~StoryLock() {
  if (state_->file != INVALID_HANDLE_VALUE) CloseHandle(state_->file);
}

StoryLock::Outcome StoryLock::Take(const std::string& folder, long& holderProgram,
                                   std::string& error) {
  const std::string path = folder + kStoryLockName;
  const HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = "cannot open " + path + ": " + LastSystemErrorText();
    return Outcome::kFailed;
  }
  const ByteLock lock = LockFileByte(reinterpret_cast<NativeFile>(file), kStoryLockByte,
                                     LockShare::kExclusive, LockWait::kNo);
  if (lock.outcome == ByteLock::Outcome::kTaken) {
    state_->file = file;
    return Outcome::kTaken;
  }
  const bool held = lock.outcome == ByteLock::Outcome::kHeldElsewhere;
  if (held) {
    char text[32] = {};
    DWORD got = 0;
    OVERLAPPED start = At(0);
    holderProgram = ReadFile(file, text, sizeof text - 1, &got, &start) && got > 0
                        ? std::strtol(text, nullptr, 10)
                        : 0;
  } else {
    error = "cannot lock " + path + ": " + SystemErrorText(lock.error);
  }
  CloseHandle(file);
  return held ? Outcome::kHeld : Outcome::kFailed;
}

void StoryLock::Record(long programId) {
  if (state_->file == INVALID_HANDLE_VALUE) return;
  const std::string text = std::to_string(programId) + "\r\n";
  OVERLAPPED start = At(0);
  DWORD written = 0;
  if (SetFilePointer(state_->file, 0, nullptr, FILE_BEGIN) == 0 && SetEndOfFile(state_->file)) {
    WriteFile(state_->file, text.data(), static_cast<DWORD>(text.size()), &written, &start);
  }
}

}  // namespace talewick
