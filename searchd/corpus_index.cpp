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

// The first id of slice `j` when `width` ids are cut into `count` even slices,
// without forming width * j, which could overflow.
std::uint64_t SliceStart(std::uint64_t width, std::uint64_t count, std::uint64_t j) {
  return (width / count) * j + (width % count) * j / count;
}

}  // namespace

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
  if (in_stops_) {
    if (IsStop(c) || IsCloser(c)) {
      Append(c);
      return;
    }
    in_stops_ = false;
    if (IsSpace(c)) Flush();
  }
  if (IsSpace(c)) {
    // A line end after a line of nothing but white space ends the sentence, and
    // so does a blank once the sentence is long.
    if (c == '\n' && line_blank_) Flush();
    if (c == '\n') line_blank_ = true;
    if (current_.size() >= kMaxSentenceBytes) Flush();
    pending_space_ = !current_.empty();
    return;
  }
  line_blank_ = false;
  Append(c);
  in_stops_ = IsStop(c);
}

void SentenceSplitter::Append(char c) {
  const bool continues_character = (static_cast<unsigned char>(c) & 0xc0) == 0x80;
  if (current_.size() >= kMaxSentenceBytes &&
      (!continues_character || current_.size() >= kMaxSentenceBytes + 3)) {
    // A long run with no blank: cut at its last blank, or else here, between
    // characters (a broken character is at most four bytes long).
    // Every blank in `current_` stands for a run of white space in the text.
    const std::size_t blank = current_.rfind(' ');
    std::string rest;
    std::uint64_t rest_start = at_;
    if (blank != std::string::npos) {
      rest = current_.substr(blank + 1);
      current_.resize(blank);
      end_ = end_before_blank_;
      rest_start = start_after_blank_;
    }
    Flush();
    current_ = std::move(rest);
    start_ = rest_start;
  }
  if (current_.empty()) start_ = at_;
  if (pending_space_) {
    current_.push_back(' ');
    end_before_blank_ = end_;
    start_after_blank_ = at_;
  }
  pending_space_ = false;
  current_.push_back(c);
  end_ = at_ + 1;
}

void SentenceSplitter::Flush() {
  pending_space_ = false;
  if (HasWord(current_)) {
    out_.push_back(current_);
    if (spans_ != nullptr) spans_->push_back({start_, end_});
  }
  current_.clear();
}

std::vector<PhraseMatch> FindPhrase(std::string_view lower_text,
                                    const std::vector<std::string>& words) {
  std::vector<PhraseMatch> matches;
  if (words.empty() || lower_text.find(words.front()) == std::string_view::npos) return matches;
  const std::vector<WordSpan> spans = SplitWords(lower_text);
  std::size_t i = 0;
  while (i + words.size() <= spans.size()) {
    bool found = true;
    for (std::size_t k = 0; k < words.size() && found; ++k) {
      const WordSpan& span = spans[i + k];
      found = lower_text.substr(span.offset, span.length) == words[k];
      if (found && k > 0) {
        const WordSpan& before = spans[i + k - 1];
        found = span.offset == before.offset + before.length + 1 &&
                lower_text[before.offset + before.length] == ' ';
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
  // The first matches in id order, a batch at a time, until there are more than
  // the page holds. When all of them fit, they are the answer.
  constexpr std::size_t kBatch = 512;
  std::vector<SearchHit> hits;
  std::size_t bytes = 0;
  std::size_t fitting = 0;
  std::uint64_t from = ids->first;
  while (hits.size() <= limit && bytes <= kMaxHitBytes) {
    const std::size_t wanted = std::min(limit + 1 - hits.size(), kBatch);
    std::vector<SearchHit> batch = reader->Matches({from, ids->last}, wanted);
    for (SearchHit& hit : batch) {
      bytes += RenderResultBlock(hit).size();
      if (bytes <= kMaxHitBytes) ++fitting;
      hits.push_back(std::move(hit));
    }
    if (batch.size() < wanted) return FitOnPage(std::move(hits));
    from = hits.back().id + 1;
  }
  return FitOnPage(Spread(*reader, *ids, std::clamp<std::size_t>(fitting, 1, limit)));
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
    std::vector<IdRange> still_open;
    for (const IdRange& slice : open) {
      if (hits.size() == count) break;
      std::vector<SearchHit> first = reader.Matches(slice, 1);
      if (first.empty()) continue;
      if (first.front().id < slice.last) still_open.push_back({first.front().id + 1, slice.last});
      hits.push_back(std::move(first.front()));
    }
    open = std::move(still_open);
  }
  std::sort(hits.begin(), hits.end(),
            [](const SearchHit& a, const SearchHit& b) { return a.id < b.id; });
  return hits;
}

}  // namespace talewick::search
