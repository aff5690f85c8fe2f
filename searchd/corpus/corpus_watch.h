// A watch on the corpus folder, so that the service brings its index up to date
// while it serves, and need not look at a hit's file while nothing changed. One
// implementation per platform: corpus_watch_posix.cpp (inotify) and
// corpus_watch_win32.cpp (ReadDirectoryChangesW).
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "searchd/text/failure.h"

namespace talewick::search {

class CorpusWatch {
 public:
  // Called on the watch's own thread. `lost` empty: something the corpus lists
  // may have changed (the system may not say what, when its queue of notices ran
  // over). Else why the watch stopped: nothing more is told after it.
  using Notify = std::function<void(const std::string& lost)>;

  CorpusWatch();
  ~CorpusWatch();  // stops the thread; no Notify runs once it returns
  CorpusWatch(const CorpusWatch&) = delete;
  CorpusWatch& operator=(const CorpusWatch&) = delete;

  // Watches `corpus`, its site folders and those made later; a change is told
  // only when it concerns the corpus (ConcernsCorpus), never for one of `ignored`
  // (the service's own files, which may lie under it). Changes made once this
  // returns done are told. Else the reason says, in plain words, why the system
  // cannot watch it and what to do.
  Failure Start(const std::filesystem::path& corpus,
                const std::vector<std::filesystem::path>& ignored, Notify notify);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Whether a change of `relative`, a path under the corpus folder, may change what
// the corpus lists: an entry of the corpus folder itself (a site folder, or a
// link to one) or a .txt file in a site folder, but for a path that starts with
// one of `ignored` (relative to the corpus too: a file and its siblings such as
// FILE-journal and FILE.lock).
bool ConcernsCorpus(const std::filesystem::path& relative,
                    const std::vector<std::filesystem::path>& ignored);

// The paths of `files` that lie under `corpus`, relative to it: what ConcernsCorpus
// takes as `ignored`. Links and relative paths are resolved as far as they exist.
std::vector<std::filesystem::path> UnderCorpus(const std::filesystem::path& corpus,
                                               const std::vector<std::filesystem::path>& files);

}  // namespace talewick::search
