// Answers kept, by query.
#include "searchd/index/answer_cache.h"

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

AnswerCache::Hits AnswerCache::Find(const std::string& key) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const Hits* hits = answers_.Find(key);
  return hits != nullptr ? *hits : nullptr;
}

void AnswerCache::Keep(const std::string& key, std::vector<SearchHit> hits) {
  // The entry: its key twice (in the list and the map, each in a block of its own
  // with the heap's header), the list's and the map's nodes, the hits' vector with
  // its shared count; and each hit with the blocks of its strings and matches.
  std::size_t bytes = 2 * (key.size() + 32) + 384;
  for (const SearchHit& hit : hits) {
    bytes += sizeof hit + hit.title.capacity() + hit.sentence.capacity() +
             hit.matches.capacity() * sizeof(PhraseMatch) + std::size_t{3} * 16;
  }
  if (bytes > answers_.budget() / 16) return;
  auto kept = std::make_shared<const std::vector<SearchHit>>(std::move(hits));
  const std::lock_guard<std::mutex> lock(mutex_);
  answers_.Add(key, std::move(kept), bytes);
}

void AnswerCache::Drop(const std::string& key) {
  const std::lock_guard<std::mutex> lock(mutex_);
  answers_.Drop(key);
}

}  // namespace talewick::search
