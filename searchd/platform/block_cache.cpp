// The block cache: size classes eight to each doubling (a block is at most an
// eighth larger than asked for), a list of free blocks for each, under one spin
// lock, which is held for a few instructions only: a lock that waits through the
// system would cost more than the heap it stands in for.
#include "searchd/platform/block_cache.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace talewick::search {

namespace {

// Blocks of kSmallest bytes or fewer (header included) and larger than kLargest
// are not kept. Small ones are kept too: under Wine every heap call takes one
// lock for the whole process, and the serving threads, which make and drop small
// strings by the thousand for each page, waited on each other there.
constexpr std::size_t kSmallest = 16;
constexpr std::size_t kLargest = std::size_t{256} * 1024;
constexpr std::size_t kClassesPerDoubling = 8;
constexpr std::size_t kClasses =
    (std::bit_width(kLargest) - std::bit_width(kSmallest)) * kClassesPerDoubling + 1;
// At most this much memory waits in the lists (KeepFreeBlocksUpTo changes it);
// what is given back beyond it goes back to the C library.
constexpr std::size_t kMostKept = std::size_t{32} << 20;
// Each block starts with its size; the header keeps what follows aligned.
constexpr std::size_t kHeader = alignof(std::max_align_t);

struct FreeBlock {
  FreeBlock* next;
};

struct Lists {
  std::atomic_flag busy;
  std::array<FreeBlock*, kClasses> free{};
  std::size_t kept = 0;
  std::size_t mostKept = kMostKept;

  void Lock() {
    while (busy.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
  }
  void Unlock() { busy.clear(std::memory_order_release); }
};

Lists& TheLists() {
  static Lists lists;
  return lists;
}

// The size of the block for a request, header included, and its class.
struct SizeClass {
  std::size_t size;
  std::size_t index;  // kClasses when the block is not kept
};

SizeClass ClassOf(std::size_t bytes) {
  const std::size_t size = bytes + kHeader;
  if (size <= kSmallest || size > kLargest) return {size, kClasses};
  // The doubling [2^k, 2^(k+1)) that holds size - 1 is cut into eight steps.
  // size > kSmallest, so the doubling is at least kSmallest and the step at least 2.
  const std::size_t doubling = std::bit_floor(size - 1);
  const std::size_t step = std::max(doubling / kClassesPerDoubling, std::size_t{1});
  const std::size_t steps = (size - 1 - doubling) / step + 1;  // 1 to 8
  const std::size_t index =
      (std::bit_width(doubling) - std::bit_width(kSmallest)) * kClassesPerDoubling + steps - 1;
  return {doubling + steps * step, index};
}

// The size of the blocks of class `index` (a free block keeps no size of its own).
std::size_t ClassSize(std::size_t index) {
  const std::size_t doubling = std::bit_floor(kSmallest) << (index / kClassesPerDoubling);
  const std::size_t step = std::max(doubling / kClassesPerDoubling, std::size_t{1});
  return doubling + (index % kClassesPerDoubling + 1) * step;
}

std::size_t StoredSize(const void* block) {
  std::size_t size = 0;
  std::memcpy(&size, static_cast<const char*>(block) - kHeader, sizeof size);
  return size;
}

}  // namespace

void* TakeBlock(std::size_t bytes) {
  if (bytes > SIZE_MAX - kHeader) return nullptr;  // the header would not fit
  const SizeClass chosen = ClassOf(bytes);
  void* start = nullptr;
  if (chosen.index < kClasses) {
    Lists& lists = TheLists();
    lists.Lock();
    FreeBlock*& head = lists.free[chosen.index];
    if (head != nullptr) {
      start = head;
      head = head->next;
      lists.kept -= chosen.size;
    }
    lists.Unlock();
  }
  if (start == nullptr) start = std::malloc(chosen.size);
  if (start == nullptr) return nullptr;
  std::memcpy(start, &chosen.size, sizeof chosen.size);
  return static_cast<char*>(start) + kHeader;
}

void GiveBackBlock(void* block) {
  if (block == nullptr) return;
  void* start = static_cast<char*>(block) - kHeader;
  const SizeClass chosen = ClassOf(StoredSize(block) - kHeader);
  if (chosen.index < kClasses) {
    Lists& lists = TheLists();
    lists.Lock();
    const bool keep = lists.kept + chosen.size <= lists.mostKept;
    if (keep) {
      auto* freeBlock = static_cast<FreeBlock*>(start);
      freeBlock->next = lists.free[chosen.index];
      lists.free[chosen.index] = freeBlock;
      lists.kept += chosen.size;
    }
    lists.Unlock();
    if (keep) return;
  }
  std::free(start);
}

std::size_t BlockBytes(const void* block) { return StoredSize(block) - kHeader; }

std::size_t RoundedBlockBytes(std::size_t bytes) { return ClassOf(bytes).size - kHeader; }

void KeepFreeBlocksUpTo(std::size_t bytes) {
  Lists& lists = TheLists();
  FreeBlock* beyond = nullptr;  // taken out of the lists, to be freed without the lock
  lists.Lock();
  lists.mostKept = bytes;
  for (std::size_t index = kClasses; index-- > 0 && lists.kept > bytes;) {
    while (lists.free[index] != nullptr && lists.kept > bytes) {
      FreeBlock* block = lists.free[index];
      lists.free[index] = block->next;
      lists.kept -= ClassSize(index);
      block->next = beyond;
      beyond = block;
    }
  }
  lists.Unlock();
  while (beyond != nullptr) {
    FreeBlock* next = beyond->next;
    std::free(beyond);
    beyond = next;
  }
}

}  // namespace talewick::search
