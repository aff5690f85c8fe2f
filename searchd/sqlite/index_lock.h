// The lock that keeps two services from writing one index file at once, or from
// writing it while another answers from it. It lies in a file of its own beside
// the index (FILE.lock), since the index itself may be removed and made anew.
//
// A service holds it exclusively while it builds or updates the index, and shared
// while it answers from it. One implementation per platform: index_lock_posix.cpp
// and index_lock_win32.cpp.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace talewick::search {

class IndexLock {
 public:
  IndexLock();
  ~IndexLock();  // unlocks, and closes the lock file
  IndexLock(const IndexLock&) = delete;
  IndexLock& operator=(const IndexLock&) = delete;

  // Where the index lies, as far as this process can tell.
  enum class Place {
    kWritable,  // the lock file is open for writing, and the folder can be written to
    kReadOnly,  // the lock file is open for reading only: shared locks only
    kUnlocked,  // no lock file, and none can be made: the folder is read-only
  };
  struct Opened {
    Place place;
    std::string why;  // for kReadOnly and kUnlocked: why it cannot be written
  };
  // Opens the lock file `path`, making it when it can.
  Opened Open(const std::filesystem::path& path);
  // True when Open made the lock file (so that an index refused leaves nothing behind).
  bool Made() const;

  // These three take the lock when it is not held yet.
  bool TryExclusive();
  bool TryShared();
  // Waits until the lock is free of exclusive holders, then holds it shared.
  // False when the system cannot lock the file at all (a file system without
  // locks).
  bool WaitShared();
  // From exclusive to shared, with no moment in which another can take it.
  void Downgrade();
  void Unlock();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace talewick::search
