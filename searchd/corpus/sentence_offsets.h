// The places of a file's sentences, kept with the file in the index so that a
// hit's sentence is read back from the file itself: each sentence's distance
// from the end of the one before and its length, as variable-length numbers
// (seven bits a byte), about three bytes a sentence. They are kept in rows of
// kSpansPerRow sentences, each row's first distance from the file's start, so
// that neither the indexer nor a search holds more than a row of a file's
// places at a time, however many sentences it has.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "searchd/text/sentences.h"

namespace talewick::search {

inline constexpr std::uint64_t kSpansPerRow = 4096;

// Appends the place of the next sentence, which ends after `endBefore` (0 for the first),
// to `offsets`.
void AppendSentenceSpan(std::string& offsets, std::uint64_t endBefore, SentenceSpan span);

// The places recorded in `offsets`, read as far as they are asked for.
class SentenceSpans {
 public:
  explicit SentenceSpans(std::string offsets) : offsets_(std::move(offsets)) {}

  // The place of sentence `n` (from 0), or nothing when fewer are recorded.
  std::optional<SentenceSpan> At(std::size_t n);

 private:
  std::string offsets_;
  std::size_t read_ = 0;  // bytes of `offsets_` read into `spans_`
  std::vector<SentenceSpan> spans_;
};

// The sentence that `bytes`, cut from a file at the place recorded for it, hold:
// nothing when they do not hold exactly one sentence (the file changed).
std::optional<std::string> SentenceAt(std::string_view bytes);

}  // namespace talewick::search
