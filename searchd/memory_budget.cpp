// The shares of the memory budget.
#include "memory_budget.h"

#include <algorithm>

namespace talewick::search {

CacheBudget ShareMemory(std::size_t bytes, unsigned threads) {
  const std::size_t eighth = bytes / 8;
  const std::size_t each = std::max(threads, 1u);
  return {2 * eighth, 2 * eighth / each, 3 * eighth / each, eighth};
}

}  // namespace talewick::search
