// POSIX: flock() on the lock file. The descriptor is closed on exec, so the
// programs the launcher starts never hold the lock.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

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
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked == 0) {
    state_->fd = fd;
    return Outcome::kTaken;
  }
  const int why = errno;
  if (why == EWOULDBLOCK) {
    char text[32] = {};
    holderProgram = ::pread(fd, text, sizeof text - 1, 0) > 0 ? std::strtol(text, nullptr, 10) : 0;
  } else {
    error = "cannot lock " + path + ": " + SystemErrorText(why);
  }
  ::close(fd);
  return why == EWOULDBLOCK ? Outcome::kHeld : Outcome::kFailed;
}

void StoryLock::Record(long programId) {
  if (state_->fd < 0) return;
  const std::string text = std::to_string(programId) + "\n";
  if (::ftruncate(state_->fd, 0) == 0) {
    [[maybe_unused]] const ssize_t written = ::pwrite(state_->fd, text.data(), text.size(), 0);
  }
}

}  // namespace talewick
