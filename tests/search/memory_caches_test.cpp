// What the service keeps in memory: the files its searches read, and the blocks
// its memory comes from.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "searchd/corpus/kept_files.h"
#include "searchd/platform/block_cache.h"

namespace talewick::search {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

// What searches keep of files stays within its budget, the least recently used
// going first, and an entry larger than the budget is not kept at all.
TEST(KeptFiles, LetsTheLeastRecentlyUsedGoFirstAndKeepsNothingTooLarge) {
  KeptFiles kept(10000);  // 5000 for texts
  for (std::uint64_t key = 1; key <= 4; ++key) kept.KeepText(key, std::string(1000, 'x'));
  ASSERT_NE(kept.Text(1), nullptr);
  kept.KeepText(5, std::string(1000, 'x'));
  EXPECT_EQ(kept.Text(2), nullptr);
  for (std::uint64_t key : {1, 3, 4, 5}) EXPECT_NE(kept.Text(key), nullptr) << key;
  EXPECT_EQ(kept.KeepText(6, std::string(6000, 'x')), nullptr);
  for (std::uint64_t key : {1, 3, 4, 5}) EXPECT_NE(kept.Text(key), nullptr) << key;
}

// SQLite, and on Windows the whole program, take their memory from the block
// cache: each block must hold what was asked for (SQLite is told its size ahead),
// be aligned for any type, and come back for the next request of its size.
TEST(BlockCache, BlocksHoldWhatWasAskedAndAreHandedOutAgain) {
  std::vector<std::size_t> sizes;
  for (std::size_t bytes = 1; bytes <= 600; ++bytes) sizes.push_back(bytes);
  for (std::size_t bytes = 601; bytes <= (std::size_t{1} << 19); bytes = bytes * 9 / 8) {
    sizes.push_back(bytes);
  }
  for (const std::size_t bytes : sizes) {
    void* block = TakeBlock(bytes);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignof(std::max_align_t), 0u) << bytes;
    EXPECT_EQ(BlockBytes(block), RoundedBlockBytes(bytes)) << bytes;
    EXPECT_GE(BlockBytes(block), bytes) << bytes;
    EXPECT_LE(BlockBytes(block), bytes + (bytes + 16) / 8) << bytes;  // an eighth over at most
    std::memset(block, 0x5a, BlockBytes(block));
    GiveBackBlock(block);
    if (bytes <= std::size_t{128} * 1024) {
      void* again = TakeBlock(bytes);
      EXPECT_EQ(again, block) << bytes;
      GiveBackBlock(again);
    }
  }
}

}  // namespace
}  // namespace talewick::search
