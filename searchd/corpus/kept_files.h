// What searches on one connection keep of the corpus files they read: the text of
// each file of ordinary size, and the places of its sentences, a row at a time
// (sentence_offsets.h). A page of a common phrase takes the first match of each of
// a hundred stretches of the site, and most such phrases find theirs in the same
// first files of those stretches: opening each file again (a call to the wineserver
// under Wine, a virus scanner's look on Windows) and looking its places up in the
// index would cost more than the search itself. No file is held open between
// searches, so the user may still move, replace or remove any of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "searchd/corpus/recent_first.h"
#include "searchd/corpus/sentence_offsets.h"

namespace talewick::search {

// Files above this size are read where a search needs them, and not kept.
inline constexpr std::size_t kMostKeptFileBytes = std::size_t{256} * 1024;

// The texts and rows of places in about `budget` bytes, half each: the least
// recently asked for go first, and nothing larger than its half is kept. Used by
// one thread at a time.
class KeptFiles {
 public:
  explicit KeptFiles(std::size_t budget) : texts_(budget / 2), places_(budget / 2) {}

  // The text of the file whose first sentence is `file`, or null; valid until the
  // next KeepText.
  const std::string* Text(std::uint64_t file) { return texts_.Find(file); }
  // Keeps `text` as the file's; what is kept, or null when it is not.
  const std::string* KeepText(std::uint64_t file, std::string text);
  void DropText(std::uint64_t file) { texts_.Drop(file); }

  // The places of the row whose first sentence is `row`, or null; valid until the
  // next KeepPlaces.
  SentenceSpans* Places(std::uint64_t row) { return places_.Find(row); }
  // Keeps `places`, read from `offsetBytes` bytes, as the row's; what is kept, or
  // null when it is not.
  SentenceSpans* KeepPlaces(std::uint64_t row, SentenceSpans places, std::size_t offsetBytes);

 private:
  RecentFirst<std::uint64_t, std::string> texts_;
  RecentFirst<std::uint64_t, SentenceSpans> places_;
};

}  // namespace talewick::search
