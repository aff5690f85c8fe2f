// POSIX: a byte-range lock on the lock file that belongs to the open file (Linux's
// open file description locks), not to the process, so that two opens in one
// process exclude each other too; a lock changes between shared and exclusive in
// one step.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "base/file_lock.h"
#include "base/system_error.h"
#include "searchd/sqlite/index_lock.h"

namespace talewick::search {

struct IndexLock::State {
  int fd = -1;
  bool made = false;

  bool Set(LockShare share, LockWait wait) const {
    return LockFileByte(fd, 0, share, wait).outcome == ByteLock::Outcome::kTaken;
  }
};

IndexLock::IndexLock() : state_(std::make_unique<State>()) {}

IndexLock::~IndexLock() {
  if (state_->fd >= 0) close(state_->fd);  // the lock goes with the descriptor
}

IndexLock::Opened IndexLock::Open(const std::filesystem::path& path) {
  State& s = *state_;
  s.fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  s.made = s.fd >= 0;
  if (s.fd < 0 && errno == EEXIST) s.fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (s.fd >= 0) {
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    if (access(folder.c_str(), W_OK | X_OK) == 0) return {Place::kWritable, {}};
    return {Place::kReadOnly, LastSystemErrorText()};
  }
  std::string why = LastSystemErrorText();
  s.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return {s.fd >= 0 ? Place::kReadOnly : Place::kUnlocked, std::move(why)};
}

bool IndexLock::Made() const { return state_->made; }
bool IndexLock::TryExclusive() { return state_->Set(LockShare::kExclusive, LockWait::kNo); }
bool IndexLock::TryShared() { return state_->Set(LockShare::kShared, LockWait::kNo); }
bool IndexLock::WaitShared() { return state_->Set(LockShare::kShared, LockWait::kYes); }
void IndexLock::Downgrade() { state_->Set(LockShare::kShared, LockWait::kNo); }
void IndexLock::Unlock() { UnlockFileByte(state_->fd, 0); }

}  // namespace talewick::search
