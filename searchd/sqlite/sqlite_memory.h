// SQLite's memory, taken through the block cache (block_cache.h).
#pragma once

namespace talewick::search {

// Makes SQLite take its memory through the block cache. Call before SQLite is
// used (before its first open); later calls do nothing.
void UseSqliteMemoryCache();

}  // namespace talewick::search
