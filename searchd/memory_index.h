// The phrase index kept in memory, built afresh at every start. Each word, and
// each pair of words that stand side by side, maps to the sorted ids of the
// sentences that hold it; a phrase query intersects the lists of its word pairs,
// rarest first, before checking the phrase itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "corpus_index.h"

namespace talewick::search {

class MemoryIndex final : public CorpusIndex {
 public:
  // Adds one document of `site` (lower-case domain); `title` names it in results.
  void AddDocument(const std::string& site, const std::string& title, std::string_view text);

  std::size_t SentenceCount() const;
  std::size_t SiteCount() const { return sites_.size(); }

 protected:
  std::optional<IdRange> SiteIds(const std::string& site) const override;
  std::vector<SearchHit> Matches(const std::string& site, const std::vector<std::string>& words,
                                 IdRange range, std::size_t count) const override;

 private:
  struct Sentence {
    std::string text;
    std::uint32_t title;
  };
  using Postings = std::vector<std::uint32_t>;  // sentence ids, ascending
  // Pair lists keep queries of common words fast: "of the in" would otherwise check
  // every sentence that holds all three words, only to find the phrase nowhere.
  struct SiteIndex {
    std::vector<std::string> titles;
    std::vector<Sentence> sentences;
    std::unordered_map<std::string, std::uint32_t> word_ids;
    std::vector<Postings> word_postings;                        // by word id
    std::unordered_map<std::uint64_t, Postings> pair_postings;  // by PairKey
  };

  static std::uint64_t PairKey(std::uint32_t first, std::uint32_t second) {
    return (std::uint64_t{first} << 32) | second;
  }
  static void AddPosting(Postings& list, std::uint32_t id) {
    if (list.empty() || list.back() != id) list.push_back(id);
  }

  std::map<std::string, SiteIndex> sites_;
};

// Reads every file of `corpus` into a new in-memory index, showing progress and
// then one summary line on `log`. Null, after saying why, when no file was read.
std::unique_ptr<MemoryIndex> OpenMemoryIndex(const std::filesystem::path& corpus,
                                             std::ostream& log);

}  // namespace talewick::search
