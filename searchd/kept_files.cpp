// The least recently used files go first.
#include "kept_files.h"

#include <utility>

namespace talewick::search {

KeptFile* KeptFiles::Find(std::uint64_t key) {
  const auto it = byKey_.find(key);
  if (it == byKey_.end()) return nullptr;
  entries_.splice(entries_.begin(), entries_, it->second);
  return it->second->file.get();
}

KeptFile& KeptFiles::Add(std::uint64_t key, std::unique_ptr<KeptFile> file,
                         std::size_t offsetBytes) {
  Drop(key);
  // Read in full, places take at most 16 bytes for every two bytes of numbers.
  const std::size_t bytes = (file->text ? file->text->size() : 0) + offsetBytes * 9 + 256;
  entries_.push_front({key, std::move(file), bytes});
  byKey_[key] = entries_.begin();
  bytes_ += bytes;
  while (entries_.size() > 1 && bytes_ > budget_) Erase(std::prev(entries_.end()));
  return *entries_.front().file;
}

void KeptFiles::Drop(std::uint64_t key) {
  const auto it = byKey_.find(key);
  if (it != byKey_.end()) Erase(it->second);
}

void KeptFiles::Erase(std::list<Entry>::iterator entry) {
  bytes_ -= entry->bytes;
  byKey_.erase(entry->key);
  entries_.erase(entry);
}

}  // namespace talewick::search
