// POSIX: the lock file opened with its descriptor closed on exec, so that the
// programs the launcher starts never hold the lock.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "base/file_lock.h"
#include "base/system_error.h"
#include "story_lock.h"

namespace talewick {

struct StoryLockState {
  int fd = -1;
};

StoryLock::StoryLock() : state_(std::make_unique<StoryLockState>()) {}

StoryLock::~StoryLock() {
  if (state_->fd >= 0) ::close(state_->fd);
}

StoryLock::Outcome StoryLock::Take(const std::string& folder, long& holderProgram,
                                   std::string& error) {
  const std::string path = folder + kStoryLockName;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = "cannot open " + path + ": " + LastSystemErrorText();
    return Outcome::kFailed;
  }
  const ByteLock lock = LockFileByte(fd, kStoryLockByte, LockShare::kExclusive, LockWait::kNo);
  if (lock.outcome == ByteLock::Outcome::kTaken) {
    state_->fd = fd;
    return Outcome::kTaken;
  }
  const bool held = lock.outcome == ByteLock::Outcome::kHeldElsewhere;
  if (held) {
    char text[32] = {};
    holderProgram = ::pread(fd, text, sizeof text - 1, 0) > 0 ? std::strtol(text, nullptr, 10) : 0;
  } else {
    error = "cannot lock " + path + ": " + SystemErrorText(lock.error);
  }
  ::close(fd);
  return held ? Outcome::kHeld : Outcome::kFailed;
}

void StoryLock::Record(long programId) {
  if (state_->fd < 0) return;
  const std::string text = std::to_string(programId) + "\n";
  if (::ftruncate(state_->fd, 0) == 0) {
    [[maybe_unused]] const ssize_t written = ::pwrite(state_->fd, text.data(), text.size(), 0);
  }
}

}  // namespace talewick
