// In-memory phrase index over a folder of plain-text files, one sub-folder per site.
// Text is cut into sentences. Each word, and each pair of words that stand side by
// side, maps to the sorted ids of the sentences that hold it; a phrase query
// intersects the lists of its word pairs, rarest first, before checking the phrase.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace talewick::search {

// A sentence with no stop for this many bytes is cut at the next blank, so that one
// snippet line stays small whatever the input file looks like.
inline constexpr std::size_t kMaxSentenceBytes = 1000;

// Cuts text into sentences with their white space folded to single blanks. A
// sentence ends at '.', '!' or '?' (with any closing quotes or brackets after it)
// followed by white space or the end, and at a blank line. Pieces with no word in
// them are dropped.
std::vector<std::string> SplitSentences(std::string_view text);

struct PhraseMatch {
  std::size_t offset;
  std::size_t length;
};

// Every place where `phrase` (lower-case words joined by single blanks) stands in
// `lower_text` with word boundaries on both sides, left to right, not overlapping.
std::vector<PhraseMatch> FindPhrase(std::string_view lower_text, std::string_view phrase);

struct SearchHit {
  std::string_view title;
  std::string_view sentence;         // original case and punctuation
  std::vector<PhraseMatch> matches;  // where the phrase stands in `sentence`
};

class CorpusIndex {
 public:
  // Adds one document of `site` (lower-case domain); `title` names it in results.
  void AddDocument(const std::string& site, const std::string& title, std::string_view text);

  // Sentences of `site` that hold `words` as one phrase, in corpus order, at most
  // `limit` of them. Views into the index stay valid while the index lives.
  std::vector<SearchHit> Search(const std::string& site, const std::vector<std::string>& words,
                                std::size_t limit) const;

  std::size_t SentenceCount() const;
  std::vector<std::string> Sites() const;

 private:
  struct Sentence {
    std::string text;
    std::string lower;
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

struct CorpusLoadReport {
  std::size_t files = 0;
  std::size_t bytes = 0;
  std::vector<std::string> errors;  // files or folders that could not be read
};

// Loads ROOT/<domain>/*.txt into `index`, sites and files in name order. A site's
// domain is its folder name lower-cased; a document's title comes from its file name.
CorpusLoadReport LoadCorpusFolder(const std::filesystem::path& root, CorpusIndex& index);

}  // namespace talewick::search
