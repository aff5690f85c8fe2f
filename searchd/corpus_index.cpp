// Sentence cutting, phrase matching, and the choice of hits for one page.
#include "corpus_index.h"

#include <algorithm>
#include <utility>

#include "result_page.h"
#include "words.h"

namespace talewick::search {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
bool IsStop(char c) { return c == '.' || c == '!' || c == '?'; }
bool IsCloser(char c) { return c == '"' || c == '\'' || c == ')' || c == ']'; }

bool HasWord(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const detail::CharAt c = detail::ReadCharFast(text, pos);
    if (c.kind == detail::CharKind::kWord) return true;
    pos += c.length;
  }
  return false;
}

// Whether `words` may stand in `text` one after the other with white space
// between, looked for without cutting the text into words: each word is to be
// followed by white space and the next. (A word found may stand inside a longer
// one: this is what the whole phrase needs, not all it needs.)
bool MayHold(std::string_view text, const std::vector<std::string>& words) {
  for (std::size_t at = text.find(words.front()); at != std::string_view::npos;
       at = text.find(words.front(), at + 1)) {
    std::size_t pos = at;
    std::size_t k = 0;
    for (; k < words.size() && text.compare(pos, words[k].size(), words[k]) == 0; ++k) {
      pos += words[k].size();
      const std::size_t word = pos;
      while (pos < text.size() && IsSpace(text[pos])) ++pos;
      if (pos == word && k + 1 < words.size()) break;
    }
    if (k == words.size()) return true;
  }
  return false;
}

// The first id of slice `j` when `width` ids are cut into `count` even slices,
// without forming width * j, which could overflow.
std::uint64_t SliceStart(std::uint64_t width, std::uint64_t count, std::uint64_t j) {
  return (width / count) * j + (width % count) * j / count;
}

}  // namespace

std::string WhyNotText(std::string_view head) {
  if (head.starts_with("\xff\xfe") || head.starts_with("\xfe\xff")) {
    return "it is UTF-16; save it as UTF-8";
  }
  if (head.find('\0') != std::string_view::npos) return "it holds NUL bytes";
  std::size_t odd = 0;
  for (std::size_t pos = 0; pos < head.size();) {
    const auto c = static_cast<unsigned char>(head[pos]);
    const std::size_t length = c < 0x80 ? 1 : detail::ReadChar(head, pos).length;
    if (c >= 0x80 ? length == 1 : (c < 0x20 && !IsSpace(static_cast<char>(c))) || c == 0x7f) {
      ++odd;
    }
    pos += length;
  }
  return odd * 2 > head.size() ? "most of its bytes are not UTF-8 text" : "";
}

std::vector<std::string> SplitSentences(std::string_view text) {
  std::vector<std::string> sentences;
  SentenceSplitter splitter(sentences);
  splitter.Feed(text);
  splitter.Finish();
  return sentences;
}

void SentenceSplitter::Feed(std::string_view text) {
  for (const char c : text) {
    Take(c);
    ++at_;
  }
}

void SentenceSplitter::Finish() { Flush(); }

void SentenceSplitter::Take(char c) {
  if (inStops_) {
    if (IsStop(c) || IsCloser(c)) {
      Append(c);
      return;
    }
    inStops_ = false;
    if (IsSpace(c)) Flush();
  }
  if (IsSpace(c)) {
    // A line end after a line of nothing but white space ends the sentence, and
    // so does a blank once the sentence is long.
    if (c == '\n' && lineBlank_) Flush();
    if (c == '\n') lineBlank_ = true;
    if (current_.size() >= kMaxSentenceBytes) Flush();
    pendingSpace_ = !current_.empty();
    return;
  }
  lineBlank_ = false;
  Append(c);
  inStops_ = IsStop(c);
}

void SentenceSplitter::Append(char c) {
  const bool continuesCharacter = (static_cast<unsigned char>(c) & 0xc0) == 0x80;
  if (current_.size() >= kMaxSentenceBytes &&
      (!continuesCharacter || current_.size() >= kMaxSentenceBytes + 3)) {
    // A long run with no blank: cut at its last blank, or else here, between
    // characters (a broken character is at most four bytes long).
    // Every blank in `current_` stands for a run of white space in the text.
    const std::size_t blank = current_.rfind(' ');
    std::string rest;
    std::uint64_t restStart = at_;
    if (blank != std::string::npos) {
      rest = current_.substr(blank + 1);
      current_.resize(blank);
      end_ = endBeforeBlank_;
      restStart = startAfterBlank_;
    }
    Flush();
    current_ = std::move(rest);
    start_ = restStart;
  }
  if (current_.empty()) start_ = at_;
  if (pendingSpace_) {
    current_.push_back(' ');
    endBeforeBlank_ = end_;
    startAfterBlank_ = at_;
  }
  pendingSpace_ = false;
  current_.push_back(c);
  end_ = at_ + 1;
}

void SentenceSplitter::Flush() {
  pendingSpace_ = false;
  if (HasWord(current_)) {
    out_.push_back(current_);
    if (spans_ != nullptr) spans_->push_back({start_, end_});
  }
  current_.clear();
}

std::vector<PhraseMatch> FindPhrase(std::string_view lowerText,
                                    const std::vector<std::string>& words) {
  std::vector<PhraseMatch> matches;
  if (words.empty() || !MayHold(lowerText, words)) return matches;
  const std::vector<WordSpan> spans = SplitWords(lowerText);
  std::size_t i = 0;
  while (i + words.size() <= spans.size()) {
    bool found = true;
    for (std::size_t k = 0; k < words.size() && found; ++k) {
      const WordSpan& span = spans[i + k];
      found = lowerText.substr(span.offset, span.length) == words[k];
      if (found && k > 0) {
        const WordSpan& before = spans[i + k - 1];
        const std::size_t end = before.offset + before.length;
        found = span.offset > end &&
                std::all_of(lowerText.begin() + static_cast<std::ptrdiff_t>(end),
                            lowerText.begin() + static_cast<std::ptrdiff_t>(span.offset), IsSpace);
      }
    }
    if (!found) {
      ++i;
      continue;
    }
    const WordSpan& last = spans[i + words.size() - 1];
    matches.push_back({spans[i].offset, last.offset + last.length - spans[i].offset});
    i += words.size();
  }
  return matches;
}

std::vector<SearchHit> CorpusIndex::Search(const std::string& site,
                                           const std::vector<std::string>& words,
                                           std::size_t limit) const {
  const auto ids = words.empty() || limit == 0 ? std::nullopt : SiteIds(site);
  if (!ids) return {};
  const std::unique_ptr<PhraseReader> reader = StartSearch(words);
  const std::string key = AnswerCache::KeyOf(site, words, limit);
  if (const AnswerCache::Hits known = answers_.Find(key)) {
    if (std::all_of(known->begin(), known->end(),
                    [&](const SearchHit& hit) { return reader->Sound(hit.id); })) {
      return *known;
    }
    // A file it came from changed: the answer is found anew without it.
    answers_.Drop(key);
  }
  std::vector<SearchHit> hits = Find(*reader, *ids, limit);
  // An answer that left out a changed file is not kept: the file may come back.
  if (!reader->SawChange()) answers_.Keep(key, hits);
  return hits;
}

std::vector<SearchHit> CorpusIndex::MatchesOf(PhraseReader& reader,
                                              const std::vector<std::uint64_t>& candidates) {
  std::vector<SearchHit> hits;
  for (const std::uint64_t id : candidates) {
    if (std::optional<SearchHit> hit = reader.MatchOf(id)) hits.push_back(std::move(*hit));
  }
  return hits;
}

std::vector<SearchHit> CorpusIndex::Find(PhraseReader& reader, IdRange ids,
                                         std::size_t limit) const {
  // When even the longest results of `limit` + 1 hits fit on the page, the page
  // never cuts the answer: it is every match when they are `limit` or fewer, and
  // the spread of `limit` otherwise, which is also every match when they are
  // fewer. A count of what the index names, with nothing read, tells which is the
  // shorter way to it.
  if (limit < kMaxHitBytes / MostResultBlockBytes(LongestTitleBytes(), kMostSentenceBytes)) {
    // The candidates, read once: when they are few, they are checked as they
    // stand, without asking the index again. No more are read than the page
    // takes and one: reading the ids of an FTS5 phrase may walk a common word's
    // list, where the spread of a common phrase asks for the first match of
    // each slice alone (measured: reading 2 or 10 times as many made first asks
    // of such phrases 2 to 5 times slower at 1 GB).
    const std::vector<std::uint64_t> candidates = reader.CandidateIds(ids, limit + 1);
    if (candidates.size() <= limit) return MatchesOf(reader, candidates);
    return Spread(reader, ids, limit);
  }
  // Else the first matches in id order, a batch at a time, until there are more
  // than the page holds. When all of them fit, they are the answer.
  constexpr std::size_t kBatch = 512;
  std::vector<SearchHit> hits;
  std::size_t bytes = 0;
  std::size_t fitting = 0;
  std::uint64_t from = ids.first;
  while (hits.size() <= limit && bytes <= kMaxHitBytes) {
    const std::size_t wanted = std::min(limit + 1 - hits.size(), kBatch);
    std::vector<SearchHit> batch = reader.Matches({from, ids.last}, wanted);
    for (SearchHit& hit : batch) {
      bytes += RenderResultBlock(hit).size();
      if (bytes <= kMaxHitBytes) ++fitting;
      hits.push_back(std::move(hit));
    }
    if (batch.size() < wanted) return FitOnPage(std::move(hits));
    from = hits.back().id + 1;
  }
  return FitOnPage(Spread(reader, ids, std::clamp<std::size_t>(fitting, 1, limit)));
}

// Cuts the site's ids into `count` even slices and takes the first match of each;
// slices that held one are then asked for their next, round after round, until
// there are `count` hits or no slice has more. Every query asks at most
// 2 * count + (matches taken) times.
std::vector<SearchHit> CorpusIndex::Spread(PhraseReader& reader, IdRange ids, std::size_t count) {
  const std::uint64_t width = ids.last - ids.first + 1;
  std::vector<IdRange> open;  // what is left of each slice
  for (std::uint64_t j = 0; j < count; ++j) {
    open.push_back(
        {ids.first + SliceStart(width, count, j), ids.first + SliceStart(width, count, j + 1) - 1});
  }
  std::vector<SearchHit> hits;
  while (hits.size() < count && !open.empty()) {
    std::vector<IdRange> stillOpen;
    for (const IdRange& slice : open) {
      if (hits.size() == count) break;
      std::vector<SearchHit> first = reader.Matches(slice, 1);
      if (first.empty()) continue;
      if (first.front().id < slice.last) stillOpen.push_back({first.front().id + 1, slice.last});
      hits.push_back(std::move(first.front()));
    }
    open = std::move(stillOpen);
  }
  std::sort(hits.begin(), hits.end(),
            [](const SearchHit& a, const SearchHit& b) { return a.id < b.id; });
  return hits;
}

}  // namespace talewick::search
