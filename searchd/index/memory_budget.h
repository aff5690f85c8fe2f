// The one memory budget of the service's caches (--memory), and how it is shared
// among them. The rest of what the service takes while it serves is small and
// does not grow with the queries it is asked: the program, the list of the
// corpus files, and a few bytes for each page of the index.
#pragma once

#include <cstddef>

namespace talewick::search {

inline constexpr std::size_t kDefaultMemoryMB = 64;

struct CacheBudget {
  std::size_t answers;         // answers kept to be given again (answer_cache.h)
  std::size_t filesPerThread;  // texts and places each serving thread keeps (kept_files.h)
  std::size_t pagesPerThread;  // index pages each serving thread's connection keeps
  std::size_t freeBlocks;      // freed memory kept to be handed out again (block_cache.h)
};

// `bytes` shared among the caches of `threads` serving threads: a quarter for
// files (the first search of a phrase reads the first files of a hundred
// stretches of the shelf, most often the same ones), an eighth for index pages, a
// sixteenth each for answers and free blocks. The other half is what their memory
// takes beyond what they hold: each cache counts what it holds, not the rounding
// and bookkeeping of the blocks it is in, nor the free space that the C library
// keeps scattered among them as they change.
CacheBudget ShareMemory(std::size_t bytes, unsigned threads);

}  // namespace talewick::search
