// Answers kept, by query.
#include "answer_cache.h"

#include <utility>

namespace talewick::search {

std::string AnswerCache::KeyOf(const std::string& site, const std::vector<std::string>& words,
                               std::size_t limit) {
  // No word or site holds a NUL, so no two queries share a key.
  std::string key = std::to_string(limit);
  key += '\0';
  key += site;
  for (const std::string& word : words) {
    key += '\0';
    key += word;
  }
  return key;
}

std::optional<std::vector<std::uint64_t>> AnswerCache::Find(const std::string& key) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const std::vector<std::uint64_t>* ids = answers_.Find(key);
  if (ids == nullptr) return std::nullopt;
  return *ids;
}

void AnswerCache::Keep(const std::string& key, std::vector<std::uint64_t> ids) {
  // The entry, its key twice (in the list and the map) and its ids.
  const std::size_t bytes = 2 * key.size() + ids.size() * sizeof(std::uint64_t) + 160;
  if (bytes > answers_.budget() / 16) return;
  const std::lock_guard<std::mutex> lock(mutex_);
  answers_.Add(key, std::move(ids), bytes);
}

void AnswerCache::Drop(const std::string& key) {
  const std::lock_guard<std::mutex> lock(mutex_);
  answers_.Drop(key);
}

}  // namespace talewick::search
