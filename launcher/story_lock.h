// One running Talewick per story folder: the launcher holds an operating-system
// lock on a file there for as long as it runs. The system lets go of it when
// the process ends, however it ends, so a crash never leaves a stale lock. One
// implementation per platform: story_lock_posix.cpp and story_lock_win32.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace talewick {

// Stays in the story folder, empty or holding the window program's process id:
// removing a lock file on the way out would let a launcher that opened it a
// moment before lock a file that no longer has that name.
inline constexpr const char* kStoryLockName = "talewick.lock";

// The byte locked, far beyond the file's end, so that the process id at its start
// stays readable for a second launcher.
inline constexpr std::uint64_t kStoryLockByte = 0x40000000;

struct StoryLockState;  // the platform's handle of the lock file

class StoryLock {
 public:
  enum class Outcome { kTaken, kHeld, kFailed };

  StoryLock();
  ~StoryLock();  // lets go of the lock
  StoryLock(const StoryLock&) = delete;
  StoryLock& operator=(const StoryLock&) = delete;

  // Takes the lock of `folder` (which ends in the separator). kHeld when another
  // launcher holds it, with the process id it recorded in `holderProgram` (0
  // when none yet); kFailed, with the system's reason in `error`, when the lock
  // file cannot be opened or locked.
  Outcome Take(const std::string& folder, long& holderProgram, std::string& error);
  // Records the window program's process id, by which a later launcher finds
  // its window.
  void Record(long programId);

 private:
  std::unique_ptr<StoryLockState> state_;
};

}  // namespace talewick
