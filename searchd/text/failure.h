// How a step of the service failed. A step that can fail returns a Failure (or a
// struct holding what it found beside one); the reason comes back in words a
// person can act on, never through an out-parameter.
#pragma once

#include <string>
#include <utility>

namespace talewick::search {

// kDamaged: a file is not a sound index of this program; kStale: most of what
// the index holds is out of date; kFailed: the machine said no (disk full, no
// permission, another process holding it, no watch to be had).
enum class Outcome { kDone, kDamaged, kStale, kFailed };

struct Failure {
  Outcome outcome = Outcome::kDone;
  std::string reason;

  bool Done() const { return outcome == Outcome::kDone; }
};

inline Failure Failed(std::string reason) { return {Outcome::kFailed, std::move(reason)}; }

}  // namespace talewick::search
