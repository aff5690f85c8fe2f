// What searches on one connection keep of the corpus files they read: the places
// of each file's sentences and, for a file of ordinary size, its text. A page of
// a common phrase takes the first match of each of a hundred stretches of the
// site, and most such phrases find theirs in the same first files of those
// stretches: opening each file again (a call to the wineserver under Wine, a virus
// scanner's look on Windows) and looking its places up in the index would cost
// more than the search itself. No file is held open between searches, so the
// user may still move, replace or remove any of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "recent_first.h"
#include "sentence_offsets.h"

namespace talewick::search {

// Files above this size are read where a search needs them, and not kept.
inline constexpr std::size_t kMostKeptFileBytes = std::size_t{256} * 1024;

struct KeptFile {
  std::optional<SentenceSpans> spans;
  std::optional<std::string> text;  // the whole file, when it is no bigger than the above
};

// The files in about `budget` bytes: the least recently asked for go first. Used
// by one thread at a time.
class KeptFiles {
 public:
  explicit KeptFiles(std::size_t budget) : files_(budget) {}

  // The file kept under `key`, or null; valid until the next Add or Drop.
  KeptFile* Find(std::uint64_t key) {
    std::unique_ptr<KeptFile>* file = files_.Find(key);
    return file != nullptr ? file->get() : nullptr;
  }
  // Keeps `file`, whose places were read from `offsetBytes` bytes, under `key`.
  KeptFile& Add(std::uint64_t key, std::unique_ptr<KeptFile> file, std::size_t offsetBytes);
  void Drop(std::uint64_t key) { files_.Drop(key); }

 private:
  RecentFirst<std::uint64_t, std::unique_ptr<KeptFile>> files_;
};

}  // namespace talewick::search
