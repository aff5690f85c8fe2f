// Memory blocks of up to a few hundred kilobytes, taken from the
// C library and, once freed, kept in lists of their own size class to be handed
// out again, up to a bound.
//
// Building an index takes and gives back such blocks by the million (SQLite's
// pages and FTS5's buffers, and the rows and tokens made ahead of them). Some
// heaps scan a list of all their free blocks of these sizes for each request:
// Wine's, under which the Windows build runs here, grew slower the longer a build
// went on, and took six times as long as Linux for 100 MB. From the cache a block
// costs a few instructions on any system.
#pragma once

#include <cstddef>

namespace talewick::search {

// A block of at least `bytes` bytes, aligned for any type; null when the system
// has no memory left.
void* TakeBlock(std::size_t bytes);
// Gives back a block of TakeBlock (or null).
void GiveBackBlock(void* block);
// The bytes a block of TakeBlock holds: at least what was asked for.
std::size_t BlockBytes(const void* block);
// What TakeBlock gives for a request of `bytes`.
std::size_t RoundedBlockBytes(std::size_t bytes);
// Keeps at most `bytes` of freed blocks from now on (32 MB until then, for the
// build), giving back to the C library what is kept beyond.
void KeepFreeBlocksUpTo(std::size_t bytes);

}  // namespace talewick::search
