// POSIX: locks of the open file description (F_OFD_SETLK), which belong to the
// open file as flock's do, on byte ranges as fcntl's do.
#include <fcntl.h>

#include <cerrno>

#include "base/file_lock.h"

namespace talewick {

namespace {

int Set(NativeFile file, std::uint64_t offset, short type, LockWait wait) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = static_cast<off_t>(offset);
  range.l_len = 1;
  const int command = wait == LockWait::kYes ? F_OFD_SETLKW : F_OFD_SETLK;
  while (fcntl(static_cast<int>(file), command, &range) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

}  // namespace

ByteLock LockFileByte(NativeFile file, std::uint64_t offset, LockShare share, LockWait wait) {
  const int error = Set(file, offset, share == LockShare::kExclusive ? F_WRLCK : F_RDLCK, wait);
  if (error == 0) return {ByteLock::Outcome::kTaken, 0};
  if (error == EAGAIN || error == EACCES) return {ByteLock::Outcome::kHeldElsewhere, 0};
  return {ByteLock::Outcome::kFailed, error};
}

void UnlockFileByte(NativeFile file, std::uint64_t offset) {
  Set(file, offset, F_UNLCK, LockWait::kNo);
}

}  // namespace talewick
