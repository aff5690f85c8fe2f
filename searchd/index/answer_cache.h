// The hits that queries were answered with, by query. The index does not change
// while it is served, so a query's hits stay its hits, sentences and all, for as
// long as the files they were read from are as they were indexed, which a search
// checks before it gives them again. Phrases of everyday words come back again
// and again, and finding their hits anew, a hundred stretches of the index at a
// time, costs most of a search; reading each sentence back and finding the phrase
// in it again cost most of the rest.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "searchd/corpus/recent_first.h"
#include "searchd/index/search_hit.h"

namespace talewick::search {

// The answers in about `budget` bytes: the least recently asked for go first.
// Safe to use from several threads at once.
class AnswerCache {
 public:
  explicit AnswerCache(std::size_t budget) : answers_(budget) {}

  // The key of a query.
  static std::string KeyOf(const std::string& site, const std::vector<std::string>& words,
                           std::size_t limit);

  using Hits = std::shared_ptr<const std::vector<SearchHit>>;

  // The hits that answered `key`, in their order, or null if it was not answered.
  Hits Find(const std::string& key);
  // Keeps `hits` as the answer to `key`, unless they would take much of the budget.
  void Keep(const std::string& key, std::vector<SearchHit> hits);
  void Drop(const std::string& key);

 private:
  std::mutex mutex_;
  RecentFirst<std::string, Hits> answers_;
};

}  // namespace talewick::search
