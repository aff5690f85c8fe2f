// Values under keys in about a budget of bytes, the least recently asked for
// going first when it is passed: what the service keeps of files and of answers.
#pragma once

#include <cstddef>
#include <iterator>
#include <list>
#include <unordered_map>
#include <utility>

namespace talewick::search {

// Used by one thread at a time.
template <typename Key, typename Value>
class RecentFirst {
 public:
  explicit RecentFirst(std::size_t budget) : budget_(budget) {}

  // The value kept under `key`, or null; valid until the next Add or Drop.
  Value* Find(const Key& key) {
    const auto it = byKey_.find(key);
    if (it == byKey_.end()) return nullptr;
    entries_.splice(entries_.begin(), entries_, it->second);
    return &it->second->value;
  }

  // Keeps `value`, counted as `bytes`, under `key`, letting the least recently
  // asked for go while the budget is passed; the value kept, or null when it alone
  // would pass the budget (it is then not kept).
  Value* Add(const Key& key, Value value, std::size_t bytes) {
    Drop(key);
    if (bytes > budget_) return nullptr;
    entries_.push_front({key, std::move(value), bytes});
    byKey_[key] = entries_.begin();
    bytes_ += bytes;
    while (bytes_ > budget_) Erase(std::prev(entries_.end()));
    return &entries_.front().value;
  }

  void Drop(const Key& key) {
    const auto it = byKey_.find(key);
    if (it != byKey_.end()) Erase(it->second);
  }

  std::size_t budget() const { return budget_; }

 private:
  struct Entry {
    Key key;
    Value value;
    std::size_t bytes;
  };

  void Erase(typename std::list<Entry>::iterator entry) {
    bytes_ -= entry->bytes;
    byKey_.erase(entry->key);
    entries_.erase(entry);
  }

  std::size_t budget_;
  std::size_t bytes_ = 0;
  std::list<Entry> entries_;  // the most recently asked for first
  std::unordered_map<Key, typename std::list<Entry>::iterator> byKey_;
};

}  // namespace talewick::search
