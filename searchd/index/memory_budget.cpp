// The shares of the memory budget.
#include "searchd/index/memory_budget.h"

#include <algorithm>

namespace talewick::search {

CacheBudget ShareMemory(std::size_t bytes, unsigned threads) {
  const std::size_t sixteenth = bytes / 16;
  const std::size_t each = std::max(threads, 1u);
  return {sixteenth, 4 * sixteenth / each, 2 * sixteenth / each, sixteenth};
}

}  // namespace talewick::search
