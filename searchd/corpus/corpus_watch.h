// A watch on the corpus folder, so that the service brings its index up to date
// while it serves, and need not look at a hit's file while nothing changed. One
// implementation per platform: corpus_watch_posix.cpp (inotify) and
// corpus_watch_win32.cpp (ReadDirectoryChangesW).
#pragma once

#include <filesystem>
#include <functional>
#include <future>
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
  // cannot watch it and what to do. Whether the watch can vouch for the texts
  // there now is looked at meanwhile, on a thread of its own: Vouch tells.
  Failure Start(const std::filesystem::path& corpus,
                const std::vector<std::filesystem::path>& ignored, Notify notify);

  // Waits for the look Start began: done when the watch can vouch for the corpus
  // as it stood (no text there is a link, whose changes are not told); else why
  // not, and the watch is stopped. A start lists the corpus meanwhile: a site
  // folder may hold a hundred thousand texts.
  Failure Vouch();

 private:
  struct State;
  void Stop();  // stops the thread (State is the platform's)
  std::unique_ptr<State> state_;
  std::future<std::string> linked_;  // the look begun by Start (LinkedEntry)
};

// Why a watch on `corpus` cannot vouch for what it holds now: an entry that is a
// link, whose changes are told to the folder of what it names. Empty when none
// is. One implementation per platform, beside the watch's.
std::string LinkedEntry(const std::filesystem::path& corpus);

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
