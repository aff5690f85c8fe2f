// The phrase index the search service asks, apart from how it is stored (an
// SQLite file: sqlite_index.h), and its text rules: how text is cut into
// sentences, where a phrase stands in a sentence, and which of many matching
// sentences make up one result page.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "answer_cache.h"
#include "search_hit.h"

namespace talewick::search {

// A sentence with no stop for this many bytes is cut at its last blank, or where it
// stands when it has none (between two UTF-8 characters), so that one snippet line
// stays small whatever the input file looks like: no sentence passes this by more
// than the bytes of one character.
inline constexpr std::size_t kMaxSentenceBytes = 1000;
// The longest a sentence can be: cut between characters, the last character may
// take up to three bytes more.
inline constexpr std::size_t kMostSentenceBytes = kMaxSentenceBytes + 3;

// Cuts text into sentences with their white space folded to single blanks. A
// sentence ends at '.', '!' or '?' (with any closing quotes or brackets after it)
// followed by white space or the end, and at a blank line. Pieces with no word in
// them are dropped.
std::vector<std::string> SplitSentences(std::string_view text);

// Why a file whose first bytes are `head` is not text to be indexed (a program,
// a picture, or text in another encoding than UTF-8); empty when it is. A NUL
// byte says so, or bytes that are mostly neither UTF-8 nor the controls that
// text holds (tabs, line and page ends).
std::string WhyNotText(std::string_view head);

// Where a sentence stands in the text it was cut from, in bytes: split alone,
// text[start, end) gives that sentence and nothing else.
struct SentenceSpan {
  std::uint64_t start;
  std::uint64_t end;
};

// SplitSentences for text that comes a piece at a time (a file read in blocks):
// the sentences are the same wherever the pieces are cut.
class SentenceSplitter {
 public:
  // Complete sentences are appended to `out`, and their places in the whole text
  // to `spans` when given; the caller may take them away between calls.
  explicit SentenceSplitter(std::vector<std::string>& out,
                            std::vector<SentenceSpan>* spans = nullptr)
      : out_(out), spans_(spans) {}

  void Feed(std::string_view text);
  // The end of the text: the last sentence is complete.
  void Finish();

 private:
  void Take(char c);
  void Append(char c);
  void Flush();

  std::vector<std::string>& out_;
  std::vector<SentenceSpan>* spans_;
  std::string current_;
  // Places in the text: of the character being taken, of the first and past the
  // last character of `current_`, and around its last blank.
  std::uint64_t at_ = 0;
  std::uint64_t start_ = 0;
  std::uint64_t end_ = 0;
  std::uint64_t endBeforeBlank_ = 0;
  std::uint64_t startAfterBlank_ = 0;
  bool pendingSpace_ = false;  // white space after the last character taken
  bool inStops_ = false;       // right after a stop and its closing marks
  bool lineBlank_ = false;     // only white space since the last line end
};

// Every place where `words` (lower-case) stand in `lowerText` as whole words with
// nothing but white space between them (in a sentence, one blank), left to
// right, not overlapping.
std::vector<PhraseMatch> FindPhrase(std::string_view lowerText,
                                    const std::vector<std::string>& words);

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

  mutable AnswerCache answers_;
};

}  // namespace talewick::search
