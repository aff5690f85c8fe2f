// The hits that queries were answered with, by query. The index does not change
// while it is served, so a query's hits stay its hits for as long as the files
// they were read from are as they were indexed, which a search checks as it reads
// them again. Phrases of everyday words come back again and again, and finding
// their hits anew, a hundred stretches of the index at a time, costs most of a
// search.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "recent_first.h"

namespace talewick::search {

// The answers in about `budget` bytes: the least recently asked for go first.
// Safe to use from several threads at once.
class AnswerCache {
 public:
  explicit AnswerCache(std::size_t budget) : answers_(budget) {}

  // The key of a query.
  static std::string KeyOf(const std::string& site, const std::vector<std::string>& words,
                           std::size_t limit);

  // The ids of the hits that answered `key`, in their order, if it was answered.
  std::optional<std::vector<std::uint64_t>> Find(const std::string& key);
  // Keeps `ids` as the answer to `key`, unless it would take much of the budget.
  void Keep(const std::string& key, std::vector<std::uint64_t> ids);
  void Drop(const std::string& key);

 private:
  std::mutex mutex_;
  RecentFirst<std::string, std::vector<std::uint64_t>> answers_;
};

}  // namespace talewick::search
