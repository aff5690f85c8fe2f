// SQLite's memory methods over the block cache.
#include "searchd/sqlite/sqlite_memory.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>

#include "searchd/platform/block_cache.h"

namespace talewick::search {

namespace {

void* Allocate(int bytes) {
  return bytes > 0 ? TakeBlock(static_cast<std::size_t>(bytes)) : nullptr;
}

void Free(void* block) { GiveBackBlock(block); }

int Size(void* block) { return block == nullptr ? 0 : static_cast<int>(BlockBytes(block)); }

void* Reallocate(void* block, int bytes) {
  if (block == nullptr) return Allocate(bytes);
  const auto wanted = static_cast<std::size_t>(bytes);
  if (RoundedBlockBytes(wanted) == BlockBytes(block)) return block;
  void* moved = Allocate(bytes);
  if (moved == nullptr) return nullptr;
  std::memcpy(moved, block, std::min(BlockBytes(block), wanted));
  Free(block);
  return moved;
}

int Roundup(int bytes) {
  return static_cast<int>(RoundedBlockBytes(static_cast<std::size_t>(bytes)));
}
int Init(void*) { return SQLITE_OK; }
void Shutdown(void*) {}

}  // namespace

void UseSqliteMemoryCache() {
  static const sqlite3_mem_methods methods{Allocate, Free, Reallocate, Size,
                                           Roundup,  Init, Shutdown,   nullptr};
  // SQLite's count of the memory it holds takes a global lock at every allocation
  // and release, from every thread; nothing here reads it.
  static const bool once = sqlite3_config(SQLITE_CONFIG_MALLOC, &methods) == SQLITE_OK &&
                           sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
  (void)once;
}

}  // namespace talewick::search
