// Opens the phrase index the service answers from.
#pragma once

#include <memory>
#include <string>

#include "searchd/index/corpus_index.h"
#include "searchd/index/memory_budget.h"

namespace talewick::search {

// Why the index is opened: at the start (which tidies the cache folder), to take
// in what changed in the corpus while the service answered, or to build it anew
// when a query found it damaged.
enum class IndexOpen { kStart, kUpdate, kRebuild };

// The index file the service uses for `corpus` (UTF-8): `indexFile` when given,
// else the default one in the user's cache folder; empty when there is none.
std::string IndexFileOf(const std::string& corpus, const std::string& indexFile);

// Indexes the corpus folder `corpus`, or opens and updates its index, saying on
// standard error what it does. `indexFile` names the index file; empty means the
// default one in the user's cache folder. Its caches take `memory` while it answers.
// `notices`: the corpus watch's (sqlite_index.h). Paths are UTF-8. Null, after
// saying why, when there is no index to answer from.
std::unique_ptr<CorpusIndex> OpenCorpusIndex(const std::string& corpus,
                                             const std::string& indexFile,
                                             const CacheBudget& memory,
                                             IndexOpen why = IndexOpen::kStart,
                                             ShelfNotices notices = {});

}  // namespace talewick::search
