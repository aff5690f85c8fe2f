// Windows: the program's own memory (operator new and delete) comes from the
// block cache too (block_cache.h says why), as SQLite's does: indexing makes and
// drops rows of text and their tokens by the hundred thousand.
#include <cstddef>
#include <new>

#include "searchd/platform/block_cache.h"

namespace {

void* TakeOrThrow(std::size_t bytes) {
  void* block = talewick::search::TakeBlock(bytes == 0 ? 1 : bytes);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

}  // namespace

void* operator new(std::size_t bytes) { return TakeOrThrow(bytes); }
void* operator new[](std::size_t bytes) { return TakeOrThrow(bytes); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
  return talewick::search::TakeBlock(bytes == 0 ? 1 : bytes);
}
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
  return talewick::search::TakeBlock(bytes == 0 ? 1 : bytes);
}
void operator delete(void* block) noexcept { talewick::search::GiveBackBlock(block); }
void operator delete[](void* block) noexcept { talewick::search::GiveBackBlock(block); }
void operator delete(void* block, std::size_t) noexcept { talewick::search::GiveBackBlock(block); }
void operator delete[](void* block, std::size_t) noexcept {
  talewick::search::GiveBackBlock(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
  talewick::search::GiveBackBlock(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
  talewick::search::GiveBackBlock(block);
}
