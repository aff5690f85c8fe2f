// The phrase index the search service asks, apart from how it is stored (an
// SQLite file: sqlite_index.h), and which of many matching sentences make up one
// result page. How text is cut into sentences is the text layer's (sentences.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "searchd/index/answer_cache.h"
#include "searchd/index/search_hit.h"
#include "searchd/text/sentences.h"

namespace talewick::search {

// What a watch on the corpus tells an index: `count` grows at each notice of a
// change. While it stays at `seen`, read before the corpus was listed for the
// index, every file is as it was indexed. No count: the corpus is not watched.
struct ShelfNotices {
  const std::atomic<std::uint64_t>* count = nullptr;
  std::uint64_t seen = 0;
};

struct IdRange {
  std::uint64_t first;
  std::uint64_t last;  // inclusive
};

// A search reads back at most this many sentences that the index named for its
// phrase but that do not hold it (when the index is asked for part of the phrase):
// it then answers with the hits it found, so that no query holds up the others
// for long, whatever the corpus.
inline constexpr std::size_t kMostRejected = 2048;

// Thrown by Search when the index cannot read itself: damaged() when what it
// holds is damaged (it must be built anew), else the machine failed it (a disk
// error, memory).
class IndexFault : public std::runtime_error {
 public:
  IndexFault(bool damaged, const std::string& reason)
      : std::runtime_error(reason), damaged_(damaged) {}
  bool damaged() const { return damaged_; }

 private:
  bool damaged_;
};

class CorpusIndex {
 public:
  // Answers are kept, in about `answerBytes`, to be given again (none: 0).
  explicit CorpusIndex(std::size_t answerBytes) : answers_(answerBytes) {}
  CorpusIndex(const CorpusIndex&) = delete;
  CorpusIndex& operator=(const CorpusIndex&) = delete;
  virtual ~CorpusIndex() = default;

  // Sentences of `site` that hold `words` (lower-case) as one phrase, in id order:
  // at most `limit` of them, and no more than fit on one result page. When more
  // match, they are drawn from evenly spaced stretches of the site's ids, so that a
  // page of a common phrase samples the whole corpus and not its first files; the
  // same query gives the same hits. A query asked before is answered with the
  // hits it had, while their files are as they were indexed.
  std::vector<SearchHit> Search(const std::string& site, const std::vector<std::string>& words,
                                std::size_t limit) const;

  // Frees what opening the index needed and answering does not: called by the
  // thread that opened it, once the service listens, so that neither the start nor
  // the first answers wait for it.
  virtual void ReleaseStartMemory() {}

 protected:
  // The reads of one search, which see the index as it stood when it began.
  class PhraseReader {
   public:
    virtual ~PhraseReader() = default;
    // The first `count` sentences with ids in `range` that hold the phrase, or
    // fewer once the search has read kMostRejected sentences that do not.
    virtual std::vector<SearchHit> Matches(IdRange range, std::size_t count) = 0;
    // The first `most` ids in `range` that the index names for the phrase, in
    // order, without reading any sentence: every sentence that holds the phrase
    // is among them, but some of them may not hold it.
    virtual std::vector<std::uint64_t> CandidateIds(IdRange range, std::size_t most) = 0;
    // How many times a page's hits and one the candidates in `range` may be for
    // reading all of them in one pass to cost less than asking for the first of
    // each slice of it; 0 when reading them one after the other costs more
    // however few they are.
    virtual std::size_t ReadAhead(IdRange range) = 0;
    // Sentence `id`, one of the CandidateIds, when it holds the phrase; nothing
    // when it does not, or (without reading it) once the search has read
    // kMostRejected sentences that do not.
    virtual std::optional<SearchHit> MatchOf(std::uint64_t id) = 0;
    // Whether the file of sentence `id` is as it was indexed (looked at once a
    // search).
    virtual bool Sound(std::uint64_t id) = 0;
    // Whether some file this search read changed since it was indexed.
    virtual bool SawChange() const = 0;
  };

  // The ids of the site's sentences, or nothing for a site without any.
  virtual std::optional<IdRange> SiteIds(const std::string& site) const = 0;
  // The bytes of the longest title of any hit.
  virtual std::size_t LongestTitleBytes() const = 0;
  // Starts a search for `words` (lower-case) as one phrase.
  virtual std::unique_ptr<PhraseReader> StartSearch(
      const std::vector<std::string>& words) const = 0;

 private:
  std::vector<SearchHit> Find(PhraseReader& reader, IdRange ids, std::size_t limit) const;
  // The sentences of `candidates` that hold the phrase, in order.
  static std::vector<SearchHit> MatchesOf(PhraseReader& reader,
                                          const std::vector<std::uint64_t>& candidates);
  static std::vector<SearchHit> Spread(PhraseReader& reader, IdRange ids, std::size_t count);
  static std::vector<SearchHit> SpreadOf(PhraseReader& reader, IdRange ids, std::size_t count,
                                         const std::vector<std::uint64_t>& candidates);

  mutable AnswerCache answers_;
};

}  // namespace talewick::search
