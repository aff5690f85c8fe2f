// What kept texts and places are counted as.
#include "searchd/corpus/kept_files.h"

#include <utility>

namespace talewick::search {

const std::string* KeptFiles::KeepText(std::uint64_t file, std::string text) {
  const std::size_t bytes = text.size() + 128;
  return texts_.Add(file, std::move(text), bytes);
}

SentenceSpans* KeptFiles::KeepPlaces(std::uint64_t row, SentenceSpans places,
                                     std::size_t offsetBytes) {
  // Read in full, places take at most 16 bytes for every two bytes of numbers.
  return places_.Add(row, std::move(places), offsetBytes * 9 + 256);
}

}  // namespace talewick::search
