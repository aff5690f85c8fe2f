// Opens the phrase index the service answers from.
#pragma once

#include <memory>
#include <string>

#include "corpus_index.h"
#include "memory_budget.h"

namespace talewick::search {

// Indexes the corpus folder `corpus`, or opens and updates its index, saying on
// standard error what it does. `indexFile` names the index file; empty means the
// default one in the user's cache folder. Its caches take `memory` while it answers.
// `rebuild`: the index was found damaged while it answered, and is built anew.
// Paths are UTF-8. Null, after saying why, when the service cannot start.
std::unique_ptr<CorpusIndex> OpenCorpusIndex(const std::string& corpus,
                                             const std::string& indexFile,
                                             const CacheBudget& memory, bool rebuild = false);

}  // namespace talewick::search
