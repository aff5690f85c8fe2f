// The least recently asked for answers go first.
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
  const auto it = byKey_.find(key);
  if (it == byKey_.end()) return std::nullopt;
  entries_.splice(entries_.begin(), entries_, it->second);
  return it->second->ids;
}

void AnswerCache::Keep(const std::string& key, std::vector<std::uint64_t> ids) {
  // The entry, its key twice (in the list and the map) and its ids.
  const std::size_t bytes = 2 * key.size() + ids.size() * sizeof(std::uint64_t) + 160;
  if (bytes > budget_ / 16) return;
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto it = byKey_.find(key);
  if (it != byKey_.end()) Erase(it->second);
  entries_.push_front({key, std::move(ids), bytes});
  byKey_.emplace(entries_.front().key, entries_.begin());
  bytes_ += bytes;
  while (bytes_ > budget_) Erase(std::prev(entries_.end()));
}

void AnswerCache::Drop(const std::string& key) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto it = byKey_.find(key);
  if (it != byKey_.end()) Erase(it->second);
}

void AnswerCache::Erase(std::list<Entry>::iterator entry) {
  bytes_ -= entry->bytes;
  byKey_.erase(entry->key);
  entries_.erase(entry);
}

}  // namespace talewick::search
